#pragma once
// Windows-only. Entry points that may be missing on a system, bound by name at run time.
// Convention: each one is a `RuntimeProc<Signature>` named rt_<ApiName>, declared beside the code
// that calls it, so every call that may be missing reads `rt_Xxx`. Its library comes from the
// system folder (LoadSystemLibrary) on first use and stays loaded until UnloadRuntimeLibrary
// frees it; every bound function then binds again on its next use (and loads its library again).
// A missing library or function binds to null, and is looked up again on the next use; the
// caller then returns its own failure value.
#include <windows.h>

namespace vel {

// Module of a system library, loaded on first request and kept; null when it cannot be loaded.
HMODULE RuntimeLibrary(const char* library);
// Address of `function` in the system library, or null.
FARPROC RuntimeAddress(const char* library, const char* function);
// Frees a library that RuntimeLibrary loaded (names compare in any letter case) and unbinds every
// function bound so far; an address taken from get() before must not be called afterwards.
// False when the library was not loaded.
bool UnloadRuntimeLibrary(const char* library);
// Goes up with every unload: a function bound at an older count binds again.
unsigned RuntimeBindingCount();

template <typename F>
class RuntimeProc {
public:
    constexpr RuntimeProc(const char* library, const char* function) : library_(library), function_(function) {}

    // The bound function, or null when it is missing on this system.
    F get() {
        const unsigned count = RuntimeBindingCount();
        if (!fn_ || count_ != count) {
            // Through void(*)(void), the one function type every other may be cast from.
            fn_ = reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(RuntimeAddress(library_, function_)));
            count_ = count;
        }
        return fn_;
    }

private:
    const char* library_;
    const char* function_;
    F fn_ = nullptr;
    unsigned count_ = 0;
};

}  // namespace vel
