#include "download/Http.h"

namespace vel {

namespace {
bool g_downloadAbort = false;  // one GUI thread reads and writes it
}  // namespace

void SetDownloadAbort(bool abort) {
    g_downloadAbort = abort;
}

bool DownloadAborted() {
    return g_downloadAbort;
}

}  // namespace vel
