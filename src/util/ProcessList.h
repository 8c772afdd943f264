#pragma once
// Portable halves of process control: the capture command line, tasklist CSV parsing,
// name=pid process lists and their lookup, name matching, the window-enumeration record and
// the main-window weighting. No Windows API: window handles are plain numbers here, and the
// system's short (8.3) path form is asked through an injected function.
// Nothing here throws; a lookup that finds nothing returns pid 0 / window 0.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vel {

// Short (8.3) form of a path; empty when the system gives none.
using TShortPathFn = std::function<std::string(const std::string& path)>;

// Short paths are equal only when both sides have a real short form (a missing one never matches).
bool SameShortPath(const std::string& a, const std::string& b, const TShortPathFn& shortPath);

// Match rule of the PSAPI and snapshot methods: path equals the process's full path, or its
// base name (not with pathOnly), or both short forms are equal. Names compare trimmed, any case.
bool ProcessPathMatches(const std::string& path, const std::string& fullPath, const std::string& baseName,
                        bool pathOnly, const TShortPathFn& shortPath);

// Command line of a captured program: the program quoted when it holds a blank and no quotation
// mark, then a blank and the parameters when there are any.
std::string CaptureCommandLine(const std::string& program, const std::string& params);

// pid from the output of "tasklist.exe /FO csv": the first line whose image name equals the
// file-name part of path and whose PID field is above 0. 0 when none.
uint32_t TasklistPid(const std::string& output, const std::string& path);

// One entry name of the PSAPI process list: id 0 is "System Idle Process"; id 2 on an OS with
// flag 8 and id 8 on an OS with flag 16 are "System Process"; otherwise the module name given.
std::string PsapiEntryName(uint32_t pid, const std::string& moduleName, uint32_t osFlag);

// Process list text "|name=pid|..." from parallel "|"-lists of names and pids.
std::string ZipProcessList(const std::string& names, const std::string& pids);

// Looks name up in a process list: the list is searched from its last entry to its first; the
// first entry whose name equals name, or whose short path equals name's short path, gives the pid.
// An entry splits at its last "=" (a file name may hold one; a pid never does). 0 when none.
uint32_t LookupProcessList(const std::string& list, const std::string& name, const TShortPathFn& shortPath);

// What one window enumeration collects. Each list starts as "|"; every entry is appended
// followed by "|".
struct TProcessData {
    uint8_t everyWindow = 0;    // 0: one row per distinct executable, stop early on a filter match
    std::string nameFilter;     // executable name at which the enumeration stops
    int32_t pidFilter = -1;     // process id at which the enumeration stops; -1 for none
    std::string pids = "|";
    std::string executables = "|";
    std::string classes = "|";
    std::string windows = "|";
    std::string threads = "|";
    std::string titles = "|";
    std::string visible = "|";

    // Records one top-level window (a row is added when every-window mode is on or its executable
    // is not listed yet). Returns false when the enumeration should stop after this window.
    bool AddWindow(uint32_t pid, const std::string& executable, const std::string& windowClass,
                   uintptr_t window, uint32_t thread, const std::string& title, bool isVisible);
};

// What the weighting needs to know of one window.
struct TWindowFacts {
    uintptr_t topOwner = 0;  // end of the window's owner chain (the window itself when it has no owner)
    bool titled = false;     // non-empty window text
    bool visible = false;
};

// The windows of one process, weighted to pick its main window.
class TAnalizer {
public:
    static constexpr int kCapacity = 2001;

    explicit TAnalizer(uint32_t pid) : pid_(pid) {}

    uint32_t Pid() const { return pid_; }
    int Count() const { return static_cast<int>(windows_.size()); }
    uintptr_t Window(int i) const { return windows_[static_cast<size_t>(i)]; }
    uint16_t Weight(int i) const { return weights_[static_cast<size_t>(i)]; }

    // Collects a window; false once the collection is full (further windows are ignored).
    bool Add(uintptr_t window);

    // Weighs the collected windows: 4 per collected window whose owner chain ends at it (itself
    // included), +2 when titled, +1 when visible. Returns the heaviest window, the first of equals;
    // 0 when every weight is 0.
    uintptr_t PickMain(const std::function<TWindowFacts(uintptr_t window)>& factsOf);

private:
    uint32_t pid_;
    std::vector<uintptr_t> windows_;
    std::vector<uint16_t> weights_;
};

}  // namespace vel
