#pragma once
// HTTP layer. The download abort flag: callers clear it before a download; the stub window sets it
// when it is asked to close; the download loop reads it after every chunk.
// The rest (Windows only, Http_win.cpp) goes through WinINet, bound at run time from the system
// folder, synchronously on the caller's thread; no handle outlives a call. Nothing here throws.
#include <cstdint>
#include <string>

#include "download/HttpText.h"

namespace vel {

class TProgBar;

void SetDownloadAbort(bool abort);
bool DownloadAborted();

// ---- Windows only (Http_win.cpp) ----

// Time-out of the download session, for connecting, sending and receiving.
constexpr uint32_t kHttpTimeoutMs = 180000;

// Whether the system reports an Internet connection. On false, reason is the system's text for
// the failure (empty when it gives none); on true it is emptied. No WinINet counts as offline.
bool HTTP_IsConnected(std::string& reason);
bool HTTP_IsConnected();

// Content-Length of the URL (opened as given), or -1 when the URL cannot be opened or the server
// sends no length. Writes "HTTP_GetFileSize=<length>  <url>" to the debug stream when it opened.
int32_t HTTP_GetFileSize(const std::string& url);

// Opens the URL (as given, asking for its first byte only) in a session of its own and closes it
// again without reading.
void HTTP_PreOpen(const std::string& url);

// Fetches url (DownloadUrl rule: "https://" as given, with the system's certificate checks) into
// localFile or, when localFile is empty, into content (emptied first). A file arrives under its
// temporary name (TempDownloadName) and becomes localFile only when the download is complete: all
// of Content-Length, or a clean end when the server sends no length. ownerWindow (an HWND, 0 for
// none) is shown once the transfer starts; progress (may be null) gets the range, a step per
// chunk and the display name. Pending window messages are dispatched before every read; the abort
// flag or the relay's cancel flag ends the transfer after the current chunk.
// Returns the error text, empty on success; a failure is also written to the debug stream.
std::string HTTP_DownloadFile_Incremental(uintptr_t ownerWindow, const std::string& url, const std::string& localFile,
                                          std::string& content, TProgBar* progress);

// Frees WinINet. Called once, after the last download; a later call of this layer loads it again.
void HTTP_UnloadWinINet();

}  // namespace vel
