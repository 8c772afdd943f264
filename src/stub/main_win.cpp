// Program entry of the setup stub.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "stub/StubMain.h"
#include "stub/StubState.h"
#include "util/DllSearch_win.h"

// Size: the stub never lets an exception escape, and the code that catches library errors only
// needs to know that an operation failed. Replacing the C++ library's error raisers and its
// default terminate handler keeps its exception classes, their strings and the symbol demangler
// (well over 60 KB together) out of the image. Every library error arrives as std::bad_alloc.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_bad_function_call() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_logic_error(const char*) { throw std::bad_alloc(); }
void __throw_out_of_range(const char*) { throw std::bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw std::bad_alloc(); }
void __throw_invalid_argument(const char*) { throw std::bad_alloc(); }
}  // namespace std

int main() {
    // Before anything loads a library by name: search only the system folder, never the folder a
    // downloaded setup file sits in.
    vel::HardenDllSearch();
    vel::StubMain();
    return vel::StubExitCode();
}
