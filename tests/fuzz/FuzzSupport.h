#pragma once
// Helpers shared by the fuzz targets: taking an input apart into numbers and texts, a scratch
// folder for the readers that read files, and the check that stops a run on a broken invariant.
// Portable; built with the fuzz targets only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel {
namespace fuzz {

// Reads an input from its front: numbers and flags first, then texts. Past the end everything
// reads as zero or empty, so any input is a valid sequence of choices.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    uint8_t Byte();
    bool Flag() { return (Byte() & 1) != 0; }
    uint32_t U32();
    int64_t I64();
    // Text up to (not including) the next byte sep, which is consumed; the rest when there is none.
    std::string TextUntil(char sep);
    std::string Rest();
    size_t Left() const { return n_; }

private:
    const uint8_t* p_;
    size_t n_;
};

// Splits text at every occurrence of sep (always at least one piece).
std::vector<std::string> SplitAt(const std::string& text, const std::string& sep);

// A folder of this process under the temp folder, emptied of its files on exit.
const std::string& ScratchDir();
// Writes bytes to ScratchDir()/name (replacing it) and returns the full path; aborts when it
// cannot, as the target cannot run then.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);
void RemoveScratchFile(const std::string& name);

// Stops the run with the message when an invariant does not hold (libFuzzer keeps the input).
void Check(bool holds, const char* what);

}  // namespace fuzz
}  // namespace vel

#define VEL_FUZZ_CHECK(cond) ::vel::fuzz::Check((cond), #cond " (" __FILE__ ")")
