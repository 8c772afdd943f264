#include "util/Catch.h"

#include <cstdlib>
#include <exception>

namespace vel {

std::string CaughtText() {
#if defined(__cpp_exceptions)
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
#else
    return "unknown exception";
#endif
}

bool MemoryAvailable(size_t n) {
    void* block = std::malloc(n ? n : 1);
    if (!block) return false;
    std::free(block);
    return true;
}

}  // namespace vel
