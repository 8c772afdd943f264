#pragma once
// Windows-only. Move-only owners that close their handle when they go out of scope, so no early
// return leaks one, and the one way the program loads a library by name.
#include <windows.h>

#include <string>

namespace vel {

template <typename T, typename Traits>
class Scoped {
public:
    Scoped() noexcept : h_(Traits::Empty()) {}
    explicit Scoped(T h) noexcept : h_(h) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : h_(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return h_; }
    bool valid() const noexcept { return Traits::Valid(h_); }
    explicit operator bool() const noexcept { return valid(); }
    // Gives up ownership without closing.
    T release() noexcept {
        T h = h_;
        h_ = Traits::Empty();
        return h;
    }
    // Closes the owned handle (if any) and takes h.
    void reset(T h = Traits::Empty()) noexcept {
        if (Traits::Valid(h_)) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters (RegOpenKeyEx and the like): closes the current handle first.
    T* put() noexcept {
        reset();
        return &h_;
    }

private:
    T h_;
};

// Kernel objects: files, processes, threads, events. Both NULL and INVALID_HANDLE_VALUE are empty.
struct KernelHandleTraits {
    static HANDLE Empty() noexcept { return nullptr; }
    static bool Valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { FindClose(h); }
};
struct RegKeyTraits {
    static HKEY Empty() noexcept { return nullptr; }
    static bool Valid(HKEY h) noexcept { return h != nullptr; }
    static void Close(HKEY h) noexcept { RegCloseKey(h); }
};
struct ModuleTraits {
    static HMODULE Empty() noexcept { return nullptr; }
    static bool Valid(HMODULE h) noexcept { return h != nullptr; }
    static void Close(HMODULE h) noexcept { FreeLibrary(h); }
};
template <typename G>
struct GdiTraits {
    static G Empty() noexcept { return nullptr; }
    static bool Valid(G h) noexcept { return h != nullptr; }
    static void Close(G h) noexcept { DeleteObject(h); }
};
struct GlobalAtomTraits {
    static ATOM Empty() noexcept { return 0; }
    static bool Valid(ATOM a) noexcept { return a != 0; }
    static void Close(ATOM a) noexcept { GlobalDeleteAtom(a); }
};

using ScopedHandle = Scoped<HANDLE, KernelHandleTraits>;   // CreateFile, OpenProcess, ...
using ScopedFind = Scoped<HANDLE, FindHandleTraits>;       // FindFirstFile
using ScopedKey = Scoped<HKEY, RegKeyTraits>;              // RegOpenKeyEx
using ScopedModule = Scoped<HMODULE, ModuleTraits>;        // LoadSystemLibrary, LoadLibrary
template <typename G>
using ScopedGdi = Scoped<G, GdiTraits<G>>;                 // ScopedGdi<HFONT>, ScopedGdi<HBRUSH>
using ScopedAtom = Scoped<ATOM, GlobalAtomTraits>;         // GlobalAddAtom

// Loads a DLL given by file name (no folder) from the system folder only, never from the
// program's or the current folder. NULL on failure or when the name holds a folder.
// The caller frees the module (wrap it in ScopedModule).
HMODULE LoadSystemLibrary(const std::string& name);

}  // namespace vel
