#include "stub/WebSetup.h"

#include <cstdint>

#include "package/ImageManifest.h"
#include "package/PackageFormat.h"
#include "stub/LaunchLine.h"
#include "util/StrUtils.h"

namespace vel {

const char kSetupFileAltered[] = "The downloaded setup file is damaged or has been altered.";

std::string WebLocalPath(const std::string& folder, const std::string& setupFileName) {
    if (!folder.empty() && folder.back() == '\\') return folder + setupFileName;
    return folder + "\\" + setupFileName;
}

std::string WebSetupUrl(const std::string& location, const std::string& setupFileName) {
    return location + "/" + setupFileName;
}

std::string DownloadQuestion(const std::string& question, const std::string& sizeText) {
    const double size = double(ParseInt(Trim(sizeText), 10, 0));
    return ReplaceAll(question, "<SIZE>", FormatSpaceMB(size));
}

std::string SetupFileAlteredMessage(const std::string& source) {
    return std::string(kSetupFileAltered) + "<P><P>" + source;
}

bool MakeWebAgentImage(std::string& content) {
    if (content.size() >= size_t(kEndStampOffset + 8)) {
        const auto* p = reinterpret_cast<const unsigned char*>(content.data()) + kEndStampOffset + 4;
        const uint32_t low = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        if (low != 0 && low < content.size() && content.size() - low < 10000) content.resize(low);
    }
    if (content.size() >= 6) content[content.size() - 5] = 1;
    return SetAgentExecutionLevel(content);
}

}  // namespace vel
