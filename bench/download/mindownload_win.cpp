// The least a WinINet download can do: one session, one request (not cached), 64 KiB reads into
// one open file. Prints "<bytes> <milliseconds>".
//   mindownload URL FILE [READ_BYTES]   (another read size, to see what the size of a read costs)
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mindownload URL FILE [READ_BYTES]\n");
        return 2;
    }
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    HINTERNET session = InternetOpenA("mindownload", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = session ? InternetOpenUrlA(session, argv[1], nullptr, 0,
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                : nullptr;
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!request || file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "mindownload: cannot open (%lu)\n", GetLastError());
        return 1;
    }
    const long readSize = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1 << 16;
    if (readSize <= 0) return 2;
    std::vector<char> buffer(static_cast<size_t>(readSize));
    unsigned long long total = 0;
    DWORD n = 0;
    while (InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &n) && n > 0) {
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), n, &written, nullptr) || written != n) return 1;
        total += n;
    }
    CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    QueryPerformanceCounter(&end);
    std::printf("%llu %lld\n", total, static_cast<long long>((end.QuadPart - start.QuadPart) * 1000 / freq.QuadPart));
    return 0;
}
