// The agent copy's announcement of a new version: the inform file's text in the rich-text box,
// with a button that opens the download page.
#include <windows.h>

#include <string>

#include "autoupdate/Agent_win.h"
#include "autoupdate/UpdateSettings.h"
#include "autoupdate/UpdateTexts.h"
#include "package/PackageFormat.h"
#include "stub/StubWindow.h"
#include "ui/RichEditBox.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

bool PerformAutoInform() {
    RunLog("PerformAutoInform() - START ");
    DebugLine(" ==== PerformAutoInform-1 ====");
    bool result = false;
    const std::string location = GetDownloadURL_UPDATE();
    const std::string informName = GetNameOfInformFile();
    if (!location.empty() && !informName.empty()) {
        DebugLine(" ==== PerformAutoInform-2 ====");
        SetAgentPhase(2);
        Notify(41, 1);
        std::string errorText;
        const bool fetched = DownloadFileAU(location, informName, kFetchInform, errorText);
        Notify(41, 2);
        if (fetched) {
            DebugLine(" ==== PerformAutoInform-3 ====");
            // The file was checked when it arrived; its token is not needed again here.
            const TokenedText inform = SplitTokenedText(ReadFilePart(AgentFolder() + FetchFileName(informName)));
            RichEditBoxArgs box;
            box.owner = reinterpret_cast<std::uintptr_t>(StubWindow());
            box.caption = GetUpdateText("s34");
            box.buttonCaption = GetUpdateText("s35");
            box.charset = static_cast<int>(GetMsgBoxCharSet());
            box.fontSize = static_cast<int>(GetMsgBoxFontSize());
            box.fontName = GetMsgBoxFontName();
            box.rightToLeft = false;
            box.width = static_cast<int>(GetAutoInformW());
            box.height = static_cast<int>(GetAutoInformH());
            box.address = Trim(GetDownloadURL_INFORM());
            // The update-info file is not signed: an address that is no web page is not opened.
            if (!box.address.empty() && !IsWebAddress(box.address)) {
                RunLog("ERROR: DownloadURL_INFORM is not a web address, not opened: " + box.address);
                box.address.clear();
            }
            box.text = inform.remainder;
            result = ShowRichEditBox(box);
            if (result) {
                SetVersionOriginal(static_cast<int32_t>(GetVersionNew()));
                DebugLine(" ==== PerformAutoInform-4 ====");
            }
        }
    }
    RunLog(std::string("PerformAutoInform() - END ") + BoolText(result));
    return result;
}

}  // namespace vel
