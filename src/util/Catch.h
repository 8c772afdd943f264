// Catching library failures where they arise.
//
// The code raises nothing itself; what the C++ library can raise (in practice: out of memory) is
// caught close to where it happens and turned into a result. The shipping stub is built without
// C++ exceptions, which saves a third of its size: there VEL_TRY blocks are plain blocks, their
// VEL_CATCH_ALL part never runs, and a library failure ends the process through one handler
// (the stub's entry). Allocations whose size comes from a file are checked with
// MemoryAvailable first, so damaged input is still reported, not fatal.
#pragma once

#include <cstddef>
#include <string>

#if defined(__cpp_exceptions)
#define VEL_TRY try
#define VEL_CATCH_ALL catch (...)
#else
#define VEL_TRY if (true)
#define VEL_CATCH_ALL else
#endif

namespace vel {

// Inside a VEL_CATCH_ALL block: the message of the exception being handled.
std::string CaughtText();

// Whether a block of n bytes can be allocated now (checked by taking and returning it).
bool MemoryAvailable(size_t n);

}  // namespace vel
