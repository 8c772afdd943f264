// Downloads one URL into one file through HTTP_DownloadFile_Incremental with the download relay
// (progress sink without bars), as the web stub does, and prints "<bytes> <milliseconds>".
//   dldriver URL FILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "util/Utils.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dldriver URL FILE\n");
        return 2;
    }
    vel::SetDownloadAbort(false);
    std::string content;
    const int64_t start = vel::MilliCounter();
    const std::string error = vel::HTTP_DownloadFile_Incremental(0, argv[1], argv[2], content, vel::EnsureDownloadRelay());
    const int64_t took = vel::MilliCounter() - start;
    if (!error.empty()) {
        std::fprintf(stderr, "dldriver: %s\n", error.c_str());
        return 1;
    }
    std::printf("%lld %lld\n", static_cast<long long>(vel::FileSizeByName(argv[2])), static_cast<long long>(took));
    return 0;
}
