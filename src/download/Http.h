#pragma once
// HTTP layer. The download abort flag: callers clear it before a download; the stub window sets it
// when it is asked to close; every wait of the layer reads it.
// The rest (Windows only, Http_win.cpp) goes through WinINet, bound at run time from the system
// folder, in asynchronous mode: the caller's thread waits in slices of at most 100 ms, pumping its
// messages, so that no server holds it; no handle outlives a call. Nothing here throws.
#include <cstdint>
#include <string>

#include "download/HttpText.h"

namespace vel {

class TProgBar;

void SetDownloadAbort(bool abort);
bool DownloadAborted();

// ---- Windows only (Http_win.cpp) ----

// No byte for this long ends a transfer (also WinINet's own time-outs on every handle).
constexpr uint32_t kStallMs = 60000;

// Bounds of one download.
struct DownloadLimits {
    uint64_t maxBytes = 0;       // more bytes than this end it (by Content-Length or while reading); 0 = none
    uint32_t stallMs = kStallMs; // no byte for this long (connecting included) ends the attempt
};

// Whether the system reports an Internet connection. On false, reason is the system's text for
// the failure (empty when it gives none); on true it is emptied. No WinINet counts as offline.
bool HTTP_IsConnected(std::string& reason);
bool HTTP_IsConnected();

// Content-Length of the URL (opened as given), or -1 when the URL cannot be opened or the server
// sends no length. Writes "HTTP_GetFileSize=<length>  <url>" to the debug stream when it opened.
// Like HTTP_PreOpen it waits at most kStallMs, pumping messages, and ends on the abort flag.
int32_t HTTP_GetFileSize(const std::string& url);

// Opens the URL (as given, asking for its first byte only) in a session of its own and closes it
// again without reading.
void HTTP_PreOpen(const std::string& url);

// Fetches url (DownloadUrl rule: "https://" as given, with the system's certificate checks) into
// localFile or, when localFile is empty, into content (emptied first). A file arrives under its
// temporary name (TempDownloadName of the first reply) and becomes localFile only when the
// download is complete: all of Content-Length, or a clean end when the server sends no length; a
// failed download leaves no temporary file. A file download whose transfer breaks is resumed from
// the bytes it holds (Range and If-Range with the first reply's validator, see Resume.h), or
// started over when no resume is safe, in up to kMaxDownloadAttempts attempts with growing pauses
// (an attempt that brought kFreeRetryProgress bytes goes again at once and does not count). A
// download into content is one attempt. ownerWindow (an HWND, 0 for none) is shown once the
// transfer starts; progress (may be null) gets the range of the whole file, a step per chunk and
// the display name. The abort flag or the relay's cancel flag ends the download within 100 ms,
// also while connecting or while the server is silent; limits bound its size and its silences.
// Returns the error text, empty on success; a failure is also written to the debug stream.
std::string HTTP_DownloadFile_Incremental(uintptr_t ownerWindow, const std::string& url, const std::string& localFile,
                                          std::string& content, TProgBar* progress,
                                          const DownloadLimits& limits = DownloadLimits());

// Frees WinINet. Called once, after the last download; a later call of this layer loads it again.
void HTTP_UnloadWinINet();

}  // namespace vel
