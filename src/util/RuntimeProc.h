#pragma once
// Windows-only. Entry points that may be missing on a system, bound by name at run time.
// Convention: each one is a `RuntimeProc<Signature>` named rt_<ApiName>, declared beside the code
// that calls it, so every call that may be missing reads `rt_Xxx`. Its library comes from the
// system folder (LoadSystemLibrary) on first use and stays loaded for the rest of the process.
// A missing library or function binds to null, and is looked up again on the next use; the
// caller then returns its own failure value.
#include <windows.h>

namespace vel {

// Module of a system library, loaded on first request and kept; null when it cannot be loaded.
HMODULE RuntimeLibrary(const char* library);
// Address of `function` in the system library, or null.
FARPROC RuntimeAddress(const char* library, const char* function);

template <typename F>
class RuntimeProc {
public:
    constexpr RuntimeProc(const char* library, const char* function) : library_(library), function_(function) {}

    // The bound function, or null when it is missing on this system.
    F get() {
        if (!fn_) {
            // Through void(*)(void), the one function type every other may be cast from.
            fn_ = reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(RuntimeAddress(library_, function_)));
        }
        return fn_;
    }

private:
    const char* library_;
    const char* function_;
    F fn_ = nullptr;
};

}  // namespace vel
