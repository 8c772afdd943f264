// What a download makes of a server's answer: the error-page test and its message over the
// content, names from the address, the sizes and progress texts from the content length, the
// temporary name from the Last-Modified stamp, and the judgement of the transfer's end.
// Input: 24 bytes of numbers, an address up to "\n", then the content.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "download/CommUtils.h"
#include "download/HttpText.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint32_t length = in.U32();
    const uint32_t received = in.U32();
    const uint32_t stamp = in.U32();
    const uint32_t fields = in.U32();
    const uint32_t code = in.U32();
    const uint8_t choice = in.Byte();
    const std::string url = in.TextUntil('\n');
    const std::string content = in.Rest();

    const bool page = IsHtmlErrorPage(content);
    VEL_FUZZ_CHECK(page == IsHtmlErrorPage(content.substr(0, 1000)));
    VEL_FUZZ_CHECK(IsHtmlErrorPage(std::string(), content) == page);
    const std::string message = MakeNotFoundMessage(std::string(), content, url, "base");
    VEL_FUZZ_CHECK(page ? message != "base" : message == "base");

    const std::string name = DownloadDisplayName(url);
    VEL_FUZZ_CHECK(name.size() <= url.size() && name.find('/') == std::string::npos &&
                   name.find('\\') == std::string::npos);
    const std::string opened = DownloadUrl(url);
    VEL_FUZZ_CHECK(opened == url || opened == "http://" + url);
    (void)OpenConnectionError(url, content.substr(0, 64));
    (void)FileNotFoundError(url);
    (void)DownloadError(name, content.substr(0, 64));
    (void)DownloadIncompleteError(name, received, length);
    if (IsCertificateError(code)) VEL_FUZZ_CHECK(!CertificateErrorReason(code).empty());

    const uint32_t chunk = DownloadChunkSize(length);
    VEL_FUZZ_CHECK(chunk >= 1 && chunk <= kLargeReadChunk);
    const int32_t maximum = ProgressMaximum(length, chunk);
    VEL_FUZZ_CHECK(maximum >= 1);
    (void)TempDownloadName("C:\\Temp\\" + name, length, stamp);
    const uint32_t dos = DosStampOf(int(fields & 0xFFF) + 1900, int(fields >> 12 & 15), int(fields >> 16 & 31),
                                    int(fields >> 21 & 31), int(fields >> 26 & 63), int(code & 63));
    (void)dos;

    const DownloadEnd end = JudgeDownloadEnd(name, choice & 1, length, received, choice & 2,
                                             content.substr(0, 32), choice & 4);
    if (choice & 4) VEL_FUZZ_CHECK(end.errorText == kDownloadAborted);
    if (end.errorText.empty()) VEL_FUZZ_CHECK(end.putInPlace);

    uint32_t now = 0;
    TBytesRate rate(ProgressInKB(length), ProgressInMB(length), [&now] { return now += 97; });
    for (int i = 0; i < 8; ++i)
        (void)rate.ProgressText(int32_t(length), int32_t(received / 8 * uint32_t(i)), int32_t(chunk));
    return 0;
}
