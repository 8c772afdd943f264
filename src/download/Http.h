#pragma once
// HTTP layer. The download abort flag: callers clear it before a download; the stub window sets it
// when it is asked to close; the download loop reads it after every chunk.

namespace vel {

void SetDownloadAbort(bool abort);
bool DownloadAborted();

}  // namespace vel
