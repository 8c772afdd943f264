#include "download/HttpText.h"

#include <algorithm>

#include "util/FileIO.h"
#include "util/StrUtils.h"

namespace vel {

const char kWinInetInitError[] = "Unable to initialize \"WinINet.dll\"";
const char kDownloadAborted[] = "Download Aborted";

namespace {

std::string WithReason(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + " (" + reason + ")";
}

// Bytes the error-page test looks at.
constexpr size_t kPageHead = 1000;

}  // namespace

std::string OpenConnectionError(const std::string& url, const std::string& reason) {
    return WithReason("Unable to open Internet Connection: " + url, reason);
}

std::string FileNotFoundError(const std::string& url) {
    return url + " --- File Not Found !";
}

std::string DownloadError(const std::string& name, const std::string& reason) {
    return WithReason(name + " --- Error downloading file", reason);
}

std::string DownloadIncompleteError(const std::string& name, uint64_t received, uint32_t length) {
    return name + " --- Download incomplete (" + IntToStr(received) + " of " + IntToStr(length) +
           " bytes)";
}

std::string TooLargeReason(uint64_t maxBytes) {
    return "the server sends more than the " + IntToStr(maxBytes) + " bytes expected";
}

std::string StallReason(uint32_t stallMs) {
    return "the server sent nothing for " +
           (stallMs % 1000 ? IntToStr(stallMs) + " ms" : IntToStr(stallMs / 1000) + " seconds");
}

bool IsCertificateError(uint32_t code) {
    switch (code) {
    case 12037:  // certificate date invalid
    case 12038:  // certificate name does not match the server
    case 12045:  // unknown certificate authority
    case 12055:  // certificate errors
    case 12056:  // no revocation information
    case 12057:  // revocation check failed (also Wine's answer for an unknown authority)
    case 12157:  // secure channel error
    case 12169:  // invalid certificate
    case 12170:  // certificate revoked
        return true;
    default:
        return false;
    }
}

std::string CertificateErrorReason(uint32_t code) {
    return "the server's certificate could not be verified, error " + IntToStr(code);
}

std::string DownloadDisplayName(const std::string& url) {
    const size_t slash = url.find_last_of("/\\");
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::string DownloadUrl(const std::string& url) {
    if (StartsWith("https://", url, true) || PosCI("http://", url) > 0) return url;
    return "http://" + url;
}

std::string TempDownloadName(const std::string& localFile, uint32_t length, uint32_t dosStamp) {
    return localFile + "." + IntToStr(static_cast<uint32_t>(length + dosStamp));
}

uint32_t DosStampOf(int year, int month, int day, int hour, int minute, int second) {
    const double value = EncodeDateTime(year, month, day, hour, minute, second);
    return value == 0 ? 0 : DateTimeToDos(value);
}

uint32_t DownloadChunkSize(uint32_t length) {
    return std::clamp<uint32_t>(length / 10, 1, length > kLargeDownload ? kLargeReadChunk : kMaxReadChunk);
}

int32_t ProgressMaximum(uint32_t length, uint32_t chunk) {
    const uint64_t c = chunk == 0 ? 1 : chunk;
    return static_cast<int32_t>((length + c - 1) / c + 1);
}

DownloadEnd JudgeDownloadEnd(const std::string& name, bool lengthKnown, uint32_t length, uint64_t received,
                             bool failed, const std::string& failureReason, bool aborted) {
    DownloadEnd end;
    const bool allArrived = lengthKnown ? received == length : !failed;
    if (aborted) {
        end.errorText = kDownloadAborted;
        end.putInPlace = lengthKnown && allArrived;
    } else if (failed) {
        end.errorText = DownloadError(name, failureReason);
    } else if (!allArrived) {
        end.errorText = DownloadIncompleteError(name, received, length);
    } else {
        end.putInPlace = true;
    }
    return end;
}

bool IsHtmlErrorPage(const std::string& content) {
    const std::string head = content.substr(0, kPageHead);
    const int title = PosCI("<TITLE", head);
    const int code = PosCI("404", head);
    const int titleEnd = PosCI("</TITLE>", head);
    if (title > 0 && title < code && code < titleEnd) return true;
    const int html = PosCI("<HTML>", head);
    const int headTag = PosCI("<HEAD>", head);
    const int titleTag = PosCI("<TITLE>", head);
    return html > 0 && html < headTag && headTag < titleTag && titleTag < titleEnd;
}

bool IsHtmlErrorPage(const std::string& file, const std::string& content) {
    if (!file.empty() && FileExists(file)) return IsHtmlErrorPage(ReadFileBytes(file, 0, kPageHead));
    return IsHtmlErrorPage(content);
}

std::string MakeNotFoundMessage(const std::string& file, const std::string& content, const std::string& url,
                                const std::string& baseMessage) {
    if (!IsHtmlErrorPage(file, content)) return baseMessage;
    return "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
           "<P><P>Please make sure the file is available and access is allowed to this file.";
}

}  // namespace vel
