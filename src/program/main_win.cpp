// Program entry of the setup stub: the one place that puts the subsystems together. The stub's
// entry runs the roles and hands the agent roles to the auto-update subsystem through the hooks
// given here, so that the stub itself knows nothing of that subsystem.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "autoupdate/AutoUpdate_win.h"
#include "stub/RunStub.h"
#include "stub/StubMain.h"
#include "stub/StubState.h"
#include "util/DllSearch_win.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

// The stub is built without C++ exceptions (see the root CMakeLists.txt): a library failure (out
// of memory, or a container asked for an impossible size) cannot be handed back to the operation,
// so the setup ends here, saying why. Sizes read from files are checked before they are
// allocated, so damaged input never ends up here. Allocation goes straight to the C runtime, and
// the C++ library's error raisers and terminate handler are replaced, which also keeps its
// exception classes, their strings and the symbol demangler out of the image.
#if defined(__cpp_exceptions)
#error "the stub is built without C++ exceptions"
#endif

namespace {
[[noreturn]] void LibraryFailure() {
    MessageBoxA(nullptr, "Not enough memory to continue the setup.", "Setup",
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    ExitProcess(vel::kStubFailureExitCode);
}
}  // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) LibraryFailure();
    return p;
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace __gnu_cxx {
void __verbose_terminate_handler() { LibraryFailure(); }
}  // namespace __gnu_cxx
namespace std {
void __throw_bad_alloc() { LibraryFailure(); }
void __throw_bad_array_new_length() { LibraryFailure(); }
void __throw_bad_function_call() { LibraryFailure(); }
void __throw_length_error(const char*) { LibraryFailure(); }
void __throw_logic_error(const char*) { LibraryFailure(); }
void __throw_out_of_range(const char*) { LibraryFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { LibraryFailure(); }
void __throw_invalid_argument(const char*) { LibraryFailure(); }
}  // namespace std

int main() {
    // Before anything loads a library by name: search only the system folder, never the folder a
    // downloaded setup file sits in.
    vel::HardenDllSearch();
    // Rates and sizes shown to the user follow the user's decimal convention.
    vel::SetDecimalSeparator(vel::UserDecimalSeparator());
    vel::StubMain(vel::AutoUpdateHooks());
    return vel::StubExitCode();
}
