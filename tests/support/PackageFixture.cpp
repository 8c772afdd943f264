#include "PackageFixture.h"

#include "support/PeFixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace vel {
namespace testsupport {

ScratchFolder::ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    const auto seed = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        const fs::path p = base / ("vel-test-" + std::to_string(seed % 100000000) + "-" + std::to_string(counter++));
        if (fs::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string ScratchFolder::File(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::vector<std::string> ScratchFolder::Names() const { return FolderNames(path_); }

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string FakeStampedImage(size_t size) {
    // Images big enough carry a manifest, as every stub does, so that velpack can set its level.
    if (size >= 1024) return MakeTinyPe(false, ManifestWithLevel("requireAdministrator"), size).image;
    std::string image(std::max<size_t>(size, 512), '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>('a' + i % 26);
    image[0] = 'M';
    image[1] = 'Z';
    std::fill(image.begin() + 248, image.begin() + 256, '\0');
    image.replace(256, 4, std::string("PE\0\0", 4));
    return image;
}

std::string RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 gen(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    return bytes;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string LE32(uint32_t value) {
    std::string b(4, '\0');
    PutLE32(b, 0, value);
    return b;
}

void PutLE32(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace testsupport
}  // namespace vel
