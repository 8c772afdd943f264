// Minimal extractor, the yardstick of the extraction benchmark: reads a package's file records
// with plain sequential reads, inflates each zlib stream in 1 MiB steps straight into WriteFile
// and appends records of the same name to the file that is still open. No progress, no message
// pumping, no checks beyond what zlib reports. Prints "MinimalTime: <ms> MS".
// Usage: mininflate PACKAGE DEST_FOLDER
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "package/PackageFormat.h"
#include "util/FileIO.h"

namespace {

bool ReadAll(HANDLE f, void* buf, DWORD n) {
    DWORD got = 0;
    return ReadFile(f, buf, n, &got, nullptr) && got == n;
}

struct Output {
    std::string dest, name;
    HANDLE h = INVALID_HANDLE_VALUE;

    bool Open(const std::string& header) {
        std::string n = header.substr(header.find('|') + 1);
        n = n.substr(0, n.find('|'));
        n = n.substr(0, n.find('*'));
        if (n == name && h != INVALID_HANDLE_VALUE) return true;
        Close();
        name = n;
        const std::string path = dest + "\\" + n;
        for (size_t p = path.find('\\', dest.size() + 1); p != std::string::npos; p = path.find('\\', p + 1))
            CreateDirectoryA(path.substr(0, p).c_str(), nullptr);
        h = CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h != INVALID_HANDLE_VALUE;
    }
    bool Write(const char* p, size_t n) {
        DWORD done = 0;
        return n == 0 || (WriteFile(h, p, DWORD(n), &done, nullptr) && done == n);
    }
    void Close() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
};

// Takes decoded record bytes: the header up to the first NUL, then file data.
struct Sink {
    Output& out;
    std::string header;
    bool inHeader = true;

    bool Feed(const char* p, size_t n) {
        if (inHeader) {
            const char* nul = static_cast<const char*>(memchr(p, 0, n));
            header.append(p, nul ? size_t(nul - p) : n);
            if (!nul) return true;
            inHeader = false;
            if (!out.Open(header)) return false;
            n -= size_t(nul - p) + 1;
            p = nul + 1;
        }
        return out.Write(p, n);
    }
};

int Fail(const std::string& why) {
    std::fprintf(stderr, "mininflate: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: mininflate PACKAGE DEST_FOLDER\n");
        return 2;
    }
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);

    vel::PackageLocation where;
    const vel::PackageTrailer trailer = vel::ReadPackageTrailer(argv[1], &where);
    if (!where.valid || !trailer.HasMagic()) {
        std::fprintf(stderr, "mininflate: no package in %s\n", argv[1]);
        return 1;
    }
    HANDLE f = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (f == INVALID_HANDLE_VALUE) return Fail(std::string("cannot open ") + argv[1]);
    LARGE_INTEGER at;
    at.QuadPart = trailer.DataOffset();
    SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
    const std::string dest = argv[2];
    for (size_t p = dest.find('\\', 3); p != std::string::npos; p = dest.find('\\', p + 1))
        CreateDirectoryA(dest.substr(0, p).c_str(), nullptr);
    CreateDirectoryA(dest.c_str(), nullptr);

    Output out;
    out.dest = dest;
    std::vector<char> in, buf(1 << 20);
    int64_t pos = trailer.DataOffset();
    int record = 0;
    while (pos + 4 <= where.trailerStart) {
        int32_t n = 0;
        if (!ReadAll(f, &n, 4)) break;
        const uint32_t size = n < 0 ? uint32_t(-int64_t(n)) : uint32_t(n);
        in.resize(size);
        if (size && !ReadAll(f, in.data(), size)) break;
        pos += 4 + int64_t(size);
        if (record++ < trailer.TextBlockCount()) continue;
        Sink sink{out, std::string(), true};
        if (n <= 0) {
            if (!sink.Feed(in.data(), size)) return Fail("cannot write " + out.name);
            continue;
        }
        z_stream zs{};
        inflateInit(&zs);
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = size;
        int rc;
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buf.data());
            zs.avail_out = uInt(buf.size());
            rc = inflate(&zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) {
                std::fprintf(stderr, "mininflate: record %d does not inflate\n", record);
                return 1;
            }
            if (!sink.Feed(buf.data(), buf.size() - zs.avail_out)) return Fail("cannot write " + out.name);
        } while (rc != Z_STREAM_END);
        inflateEnd(&zs);
    }
    out.Close();
    CloseHandle(f);
    QueryPerformanceCounter(&t1);
    std::printf("MinimalTime: %lld MS\n", (t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart);
    return 0;
}
