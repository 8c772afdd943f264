// An update-info file as fetched from the publisher's server: the INI reader, the value rules
// (integers, flags), every accessor, the written form read back, and the update decision over
// the values. Input: 40 bytes of numbers (installed state, clock, sizes found), then the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateDecision.h"
#include "autoupdate/UpdateInfoFormat.h"
#include "util/IniFile.h"

using namespace vel;

namespace {

bool SameInfo(const UpdateInfo& a, const UpdateInfo& b) {
    return a.downloadUrlUpdate == b.downloadUrlUpdate && a.nameOfUpdateFile == b.nameOfUpdateFile &&
           a.sizeOfUpdateFile == b.sizeOfUpdateFile && a.sha256OfUpdateFile == b.sha256OfUpdateFile &&
           a.confirmDownload == b.confirmDownload && a.confirmDownloadForce == b.confirmDownloadForce &&
           a.confirmInstall == b.confirmInstall && a.confirmInstallForce == b.confirmInstallForce &&
           a.backgroundUpdate == b.backgroundUpdate && a.shutDownMethod == b.shutDownMethod &&
           a.restartProcess == b.restartProcess && a.informFinish == b.informFinish &&
           a.runningProcess == b.runningProcess && a.programName == b.programName && a.versionNew == b.versionNew &&
           a.stamp == b.stamp && a.validVersions == b.validVersions &&
           a.removeStartUpShortcut == b.removeStartUpShortcut &&
           a.removeCheckForNewUpdateShortcut == b.removeCheckForNewUpdateShortcut && a.autoInform == b.autoInform &&
           a.downloadUrlInform == b.downloadUrlInform && a.nameOfInformFile == b.nameOfInformFile &&
           a.sizeOfInformFile == b.sizeOfInformFile && a.sha256OfInformFile == b.sha256OfInformFile &&
           a.autoInformW == b.autoInformW && a.autoInformH == b.autoInformH;
}

// The decision's values: the update-info file as read, the installed state from the input.
struct Source : UpdateDecisionSource {
    const UpdateInfo& info;
    int64_t original, originalStamp, reAskLast, reAskInterval, now, fileSize, httpSize;
    bool connected;
    explicit Source(const UpdateInfo& i) : info(i) {}
    int64_t VersionOriginal() override { return original; }
    int64_t OriginalStamp() override { return originalStamp; }
    int64_t ReAskSecondsLast() override { return reAskLast; }
    int64_t ReAskSecondsInterval() override { return reAskInterval; }
    int64_t InfoStamp() override { return info.stamp; }
    int64_t VersionNew() override { return info.versionNew; }
    std::string ValidVersions() override { return info.validVersions; }
    std::string DownloadURL_UPDATE() override { return info.downloadUrlUpdate; }
    std::string NameOfUpdateFile() override { return info.nameOfUpdateFile; }
    int64_t SizeOfUpdateFile() override { return info.sizeOfUpdateFile; }
    int64_t AutoInform() override { return info.autoInform; }
    std::string NameOfInformFile() override { return info.nameOfInformFile; }
    int64_t SizeOfInformFile() override { return info.sizeOfInformFile; }
    int64_t NowSeconds() override { return now; }
    int64_t FolderFileSize(const std::string&) override { return fileSize; }
    bool IsConnected() override { return connected; }
    int64_t HttpFileSize(const std::string&) override { return httpSize; }
    void Trace(const std::string&) override {}
    void RunLog(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const int64_t original = int64_t(in.U32() & 0xFFFF);
    const int64_t originalStamp = int64_t(in.U32());
    const int64_t reAskLast = in.I64() >> 8;
    const int64_t reAskInterval = int64_t(in.U32());
    const int64_t now = in.I64() >> 8;
    const int64_t fileSize = int64_t(in.U32()) - 1;
    const uint8_t choice = in.Byte();
    IniFile ini;
    ini.Parse(in.Rest());

    for (const IniFile::Section& s : ini.Sections())
        for (const auto& e : s.entries) {
            (void)SettingsInt(e.second, 0);
            (void)SettingsFlag(e.second);
            VEL_FUZZ_CHECK(ini.HasKey(s.name, e.first));
        }
    const UpdateInfo info = ReadUpdateInfo(ini);

    // The publisher's written form reads back as the same values when every text can stand in it.
    const std::string texts[] = {info.downloadUrlUpdate, info.nameOfUpdateFile, info.sha256OfUpdateFile,
                                 info.shutDownMethod,    info.runningProcess,   info.programName,
                                 info.validVersions,     info.downloadUrlInform, info.nameOfInformFile,
                                 info.sha256OfInformFile};
    bool writable = true;
    for (const std::string& t : texts) writable = writable && IsIniValue(t);
    if (writable) {
        IniFile again;
        again.Parse(UpdateInfoText(info));
        // The announcement's section is written only with an inform file to announce.
        UpdateInfo expected = info;
        if (expected.nameOfInformFile.empty()) {
            const UpdateInfo defaults;
            expected.downloadUrlInform = defaults.downloadUrlInform;
            expected.sizeOfInformFile = defaults.sizeOfInformFile;
            expected.sha256OfInformFile = defaults.sha256OfInformFile;
            expected.autoInformW = defaults.autoInformW;
            expected.autoInformH = defaults.autoInformH;
        }
        VEL_FUZZ_CHECK(SameInfo(ReadUpdateInfo(again), expected));
    }

    Source src(info);
    src.original = original;
    src.originalStamp = originalStamp;
    src.reAskLast = reAskLast;
    src.reAskInterval = reAskInterval;
    src.now = now;
    src.fileSize = fileSize;
    src.httpSize = (choice & 8) ? -1 : fileSize;
    src.connected = choice & 1;
    UpdateDecisionMode mode;
    mode.interactive = choice & 2;
    mode.testMode = choice & 4;
    mode.testLocation = "C:\\Test";
    int code = -1;
    std::string text;
    const bool offer = DecideUpdate(src, mode, choice & 16, code, text);
    VEL_FUZZ_CHECK(code >= kReasonInfoNotFetched && code <= kReasonOk);
    VEL_FUZZ_CHECK(offer == (code == kReasonOk) && text == UpdateReasonText(code));
    if (!(choice & 16)) VEL_FUZZ_CHECK(code == kReasonInfoNotFetched);
    return 0;
}
