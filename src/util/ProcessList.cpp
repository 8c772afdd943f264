#include "util/ProcessList.h"

#include <algorithm>

#include "util/FileText.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {

namespace {

uint32_t PidFromText(const std::string& text) {
    const int64_t pid = StrToInt64Def(text, 0);
    return (pid > 0 && pid <= 0xFFFFFFFFLL) ? static_cast<uint32_t>(pid) : 0;
}

}  // namespace

bool SameShortPath(const std::string& a, const std::string& b, const TShortPathFn& shortPath) {
    if (!shortPath) return false;
    const std::string sa = shortPath(a);
    if (sa.empty()) return false;
    const std::string sb = shortPath(b);
    return !sb.empty() && SameTextTrimmed(sa, sb);
}

bool ProcessPathMatches(const std::string& path, const std::string& fullPath, const std::string& baseName,
                        bool pathOnly, const TShortPathFn& shortPath) {
    if (SameTextTrimmed(path, fullPath)) return true;
    if (!pathOnly && SameTextTrimmed(path, baseName)) return true;
    return SameShortPath(path, fullPath, shortPath);
}

std::string CaptureCommandLine(const std::string& program, const std::string& params) {
    std::string line = program;
    if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos)
        line = "\"" + program + "\"";
    if (!params.empty()) line += " " + params;
    return line;
}

uint32_t TasklistPid(const std::string& output, const std::string& path) {
    const std::string name = FileNamePart(path);
    if (Trim(name).empty()) return 0;
    std::string text = ReplaceAll(Trim(output), "\"", "");
    text = ReplaceAll(text, "\r\n", "|");
    text = ReplaceAll(text, "\n", "|");
    for (const std::string& line : SUB::Items("|" + text + "|")) {
        const std::string fields = "," + line + ",";
        if (!SameTextTrimmed(SUB::Item(fields, 0), name)) continue;
        const uint32_t pid = PidFromText(SUB::Item(fields, 1));
        if (pid > 0) return pid;
    }
    return 0;
}

std::string PsapiEntryName(uint32_t pid, const std::string& moduleName, uint32_t osFlag) {
    if (pid == 0) return "System Idle Process";
    if ((pid == 2 && osFlag == 8) || (pid == 8 && osFlag == 16)) return "System Process";
    return moduleName;
}

std::string ZipProcessList(const std::string& names, const std::string& pids) {
    return SUB::Zip(names, pids, false);
}

uint32_t LookupProcessList(const std::string& list, const std::string& name, const TShortPathFn& shortPath) {
    if (Trim(name).empty()) return 0;
    const std::string nameShort = shortPath ? shortPath(name) : std::string();
    for (const std::string& entry : SUB::Items(SUB::Reverse(list))) {
        const size_t eq = entry.rfind('=');
        if (eq == std::string::npos) continue;
        const std::string entryName = entry.substr(0, eq);
        bool match = SameTextTrimmed(entryName, name);
        if (!match && !nameShort.empty()) {
            const std::string entryShort = shortPath(entryName);
            match = !entryShort.empty() && SameTextTrimmed(entryShort, nameShort);
        }
        if (match) return PidFromText(entry.substr(eq + 1));
    }
    return 0;
}

bool TProcessData::AddWindow(uint32_t pid, const std::string& executable, const std::string& windowClass,
                             uintptr_t window, uint32_t thread, const std::string& title, bool isVisible) {
    bool add = everyWindow != 0;
    if (!add) {
        const std::vector<std::string> known = SUB::Items(executables);
        add = std::none_of(known.begin(), known.end(),
                           [&](const std::string& k) { return SameTextTrimmed(k, executable); });
    }
    if (add) {
        pids += IntToStr(pid) + "|";
        executables += executable + "|";
        classes += windowClass + "|";
        windows += IntToStr(window) + "|";
        threads += IntToStr(thread) + "|";
        titles += title + "|";
        visible += std::string(isVisible ? "1" : "0") + "|";
    }
    if (everyWindow != 0) return true;
    const bool nameHit = !Trim(nameFilter).empty() && SameTextTrimmed(executable, nameFilter);
    const bool pidHit = pidFilter >= 0 && static_cast<int64_t>(pid) == pidFilter;
    return !(nameHit || pidHit);
}

bool TAnalizer::Add(uintptr_t window) {
    if (Count() >= kCapacity) return false;
    windows_.push_back(window);
    weights_.push_back(0);
    return true;
}

uintptr_t TAnalizer::PickMain(const std::function<TWindowFacts(uintptr_t window)>& factsOf) {
    std::vector<TWindowFacts> facts;
    facts.reserve(windows_.size());
    for (uintptr_t w : windows_) facts.push_back(factsOf ? factsOf(w) : TWindowFacts{});
    std::fill(weights_.begin(), weights_.end(), static_cast<uint16_t>(0));
    for (const TWindowFacts& f : facts)
        for (size_t j = 0; j < windows_.size(); ++j)
            if (windows_[j] == f.topOwner) ++weights_[j];
    uintptr_t best = 0;
    uint16_t bestWeight = 0;
    for (size_t i = 0; i < windows_.size(); ++i) {
        weights_[i] = static_cast<uint16_t>(weights_[i] * 4 + (facts[i].titled ? 2 : 0) + (facts[i].visible ? 1 : 0));
        if (weights_[i] > bestWeight) {
            bestWeight = weights_[i];
            best = windows_[i];
        }
    }
    return best;
}

}  // namespace vel
