#pragma once
// The rules of an HTTP download that need no network: the address actually opened, the names and
// sizes the read loop uses, the texts it reports, how a finished transfer is judged, and the test
// for an HTML error page served in place of the expected file. Portable: no Windows API.
// Nothing here throws.
#include <cstdint>
#include <string>

namespace vel {

// ---- Texts a download reports (empty error text = success) ----------------------------------

extern const char kWinInetInitError[];  // Unable to initialize "WinINet.dll"
extern const char kDownloadAborted[];   // Download Aborted

// "Unable to open Internet Connection: " + url; a non-empty reason follows in parentheses.
std::string OpenConnectionError(const std::string& url, const std::string& reason);
// url + " --- File Not Found !"
std::string FileNotFoundError(const std::string& url);
// name + " --- Error downloading file"; a non-empty reason follows in parentheses.
std::string DownloadError(const std::string& name, const std::string& reason);
// name + " --- Download incomplete (<received> of <length> bytes)"
std::string DownloadIncompleteError(const std::string& name, uint64_t received, uint32_t length);

// Reasons of a transfer cut short by its bounds: "the server sends more than the <max> bytes
// expected", "the server sent nothing for <n> seconds" (or "<n> ms" below a whole second).
std::string TooLargeReason(uint64_t maxBytes);
std::string StallReason(uint32_t stallMs);

// WinINet's error codes for a server certificate that does not verify (wrong name, unknown
// authority, expired, revoked, ...), and the reason shown for them.
bool IsCertificateError(uint32_t code);
std::string CertificateErrorReason(uint32_t code);

// ---- Names and sizes ----------------------------------------------------------------------

// The file-name part of a URL: the text after its last "/" or "\".
std::string DownloadDisplayName(const std::string& url);
// The address opened: one that starts with "https://" (any letter case) or contains "http://"
// anywhere (any letter case) as it is, any other with "http://" in front.
std::string DownloadUrl(const std::string& url);
// The file a download is written to before it becomes localFile: localFile, ".", and the content
// length plus the Last-Modified stamp (packed DOS date-time) as an unsigned 32-bit sum, wrapped.
std::string TempDownloadName(const std::string& localFile, uint32_t length, uint32_t dosStamp);
// A date and time as a packed DOS date-time (date high, time low); 0 when the fields are not a
// valid date-time or the year lies outside 1980..2107.
uint32_t DosStampOf(int year, int month, int day, int hour, int minute, int second);

// Bytes asked for per read: a tenth of the length, at least 1, so that small files come in about
// ten reads; at most kMaxReadChunk, or kLargeReadChunk for a file above kLargeDownload bytes (and
// one of unknown length). Each read costs a fixed time besides its bytes (the library call and the
// messages pumped around it), which reads of 8 KiB let dominate a large download. A read waits
// for its whole chunk, so on a slow line the window answers once per chunk.
constexpr uint32_t kMaxReadChunk = 8192;
constexpr uint32_t kLargeReadChunk = 262144;
constexpr uint32_t kLargeDownload = 1048576;
uint32_t DownloadChunkSize(uint32_t length);
// Range of the progress relay: ceil(length / chunk) + 1 steps (one more than the reads with data).
int32_t ProgressMaximum(uint32_t length, uint32_t chunk);
// Units of the progress line: KB above 100 KiB, MB above 10 MiB.
inline bool ProgressInKB(uint32_t length) { return length > 102400u; }
inline bool ProgressInMB(uint32_t length) { return length > 10485760u; }

// ---- End of a transfer -------------------------------------------------------------------

struct DownloadEnd {
    std::string errorText;   // empty on success
    bool putInPlace = false; // the temporary file becomes the local file
};
// Judges a finished read loop. An abort wins ("Download Aborted"), and still puts a file in place
// whose bytes had all arrived; a failed read or write reports its reason; with a known length,
// fewer (or more) bytes than it are an incomplete download; without a length, a clean end is
// complete.
DownloadEnd JudgeDownloadEnd(const std::string& name, bool lengthKnown, uint32_t length, uint64_t received,
                             bool failed, const std::string& failureReason, bool aborted);

// ---- HTML error pages ----------------------------------------------------------------------

// Whether the first 1000 characters look like an HTML error page: "<TITLE" before "404" before
// "</TITLE>", or "<HTML>" before "<HEAD>" before "<TITLE>" before "</TITLE>" (any letter case).
bool IsHtmlErrorPage(const std::string& content);
// The same over the first 1000 bytes of a file when file is not empty and exists, else over content.
bool IsHtmlErrorPage(const std::string& file, const std::string& content);
// baseMessage, or the "404 File Not Found" explanation (markup) naming url when the data is an
// HTML error page.
std::string MakeNotFoundMessage(const std::string& file, const std::string& content, const std::string& url,
                                const std::string& baseMessage);

}  // namespace vel
