#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace vel {
namespace fuzz {

uint8_t FuzzInput::Byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
}

uint32_t FuzzInput::U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
}

int64_t FuzzInput::I64() {
    uint64_t v = U32();
    v |= uint64_t(U32()) << 32;
    return static_cast<int64_t>(v);
}

std::string FuzzInput::TextUntil(char sep) {
    const void* at = n_ ? std::memchr(p_, sep, n_) : nullptr;
    const size_t len = at ? size_t(static_cast<const uint8_t*>(at) - p_) : n_;
    std::string text(reinterpret_cast<const char*>(p_), len);
    const size_t used = at ? len + 1 : len;
    p_ += used;
    n_ -= used;
    return text;
}

std::string FuzzInput::Rest() {
    std::string text(reinterpret_cast<const char*>(p_), n_);
    p_ += n_;
    n_ = 0;
    return text;
}

std::vector<std::string> SplitAt(const std::string& text, const std::string& sep) {
    std::vector<std::string> pieces;
    size_t from = 0;
    for (size_t at; !sep.empty() && (at = text.find(sep, from)) != std::string::npos; from = at + sep.size())
        pieces.push_back(text.substr(from, at - from));
    pieces.push_back(text.substr(from));
    return pieces;
}

namespace {

// The folder and the files written in it; both go when the process ends.
struct Scratch {
    std::string dir;
    std::vector<std::string> names;
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/velfuzz.XXXXXX";
        if (!mkdtemp(&dir[0])) {
            std::perror("fuzz: scratch folder");
            std::abort();
        }
    }
    ~Scratch() {
        for (const std::string& name : names) std::remove((dir + "/" + name).c_str());
        rmdir(dir.c_str());
    }
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

}  // namespace

const std::string& ScratchDir() { return TheScratch().dir; }

std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(("fuzz: writing " + path).c_str());
        std::abort();
    }
    bool known = false;
    for (const std::string& n : TheScratch().names) known = known || n == name;
    if (!known) TheScratch().names.push_back(name);
    return path;
}

void RemoveScratchFile(const std::string& name) { std::remove((ScratchDir() + "/" + name).c_str()); }

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: invariant broken: %s\n", what);
    std::abort();
}

}  // namespace fuzz
}  // namespace vel
