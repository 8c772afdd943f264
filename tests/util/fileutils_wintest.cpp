#include "util/Utils.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess_win.h"
#include "support/DebugCapture.h"
#include "support/FolderLink_win.h"
#include "support/RunProgram_win.h"
#include "util/StrUtils.h"

using namespace vel;
using vel::testsupport::DebugCapture;

namespace {

// Child mode: a copy of this program started with this variable deletes itself through the
// batch file and ends before any test runs. Value: "<removeFolder><shortNames>", e.g. "10".
const bool g_isSelfDeleteChild = [] {
    char mode[8] = {};
    if (GetEnvironmentVariableA("VEL_DELETE_MYSELF", mode, sizeof(mode)) != 2) return false;
    const bool ok = DeleteMySelf(mode[0] == '1', mode[1] == '1');
    ExitProcess(ok ? 0 : 3);
}();

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder under the temp folder, removed with everything in it at the end of the test.
class TempTree {
public:
    explicit TempTree(const std::string& name)
        : root_(TempDir(true) + "vel_files_" + IntToStr(GetCurrentProcessId()) + "_" + name) {
        DeleteTree(root_, true);
        CreateDirectoryA(root_.c_str(), nullptr);
    }
    ~TempTree() {
        SetFileAttributesA(root_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteTree(root_, true);
    }
    const std::string& Root() const { return root_; }
    // Creates the folders of a relative path one level at a time.
    std::string Dir(const std::string& rel) const {
        std::string path = root_;
        size_t start = 0;
        while (start <= rel.size()) {
            const size_t end = std::min(rel.find('\\', start), rel.size());
            path += "\\" + rel.substr(start, end - start);
            CreateDirectoryA(path.c_str(), nullptr);
            start = end + 1;
        }
        return path;
    }
    std::string File(const std::string& rel, const std::string& content = "x") const {
        const std::string path = root_ + "\\" + rel;
        EXPECT_TRUE(WriteFileText(path, content)) << path;
        return path;
    }

private:
    std::string root_;
};

TEST(FileUtilsWinTest, ProgramFolders) {
    const std::string exe = ExePath();
    EXPECT_TRUE(EndsWith("\\fileutils_wintest.exe", exe, true)) << exe;
    EXPECT_EQ(ExePath(true), "fileutils_wintest");
    EXPECT_EQ(ExeDir(true) + "fileutils_wintest.exe", exe);
    EXPECT_EQ(ExeDir(false) + "\\", ExeDir(true));
    for (const std::string& dir : {WindowsDir(true), SystemDir(true), TempDir(true)}) {
        EXPECT_EQ(dir.back(), '\\') << dir;
        EXPECT_TRUE(Exists(dir)) << dir;
    }
    EXPECT_EQ(TempDir(false) + "\\", TempDir(true));
}

TEST(FileUtilsWinTest, ChunkedWritesReportProgress) {
    TempTree tree("chunks");
    const std::string path = tree.Root() + "\\big.bin";
    struct Case {
        size_t size;
        std::vector<int64_t> progress;
    } cases[] = {
        {2048, {0, 1024, 2048}},
        {5242880, {0, 524288, 1048576, 1572864, 2097152, 2621440, 3145728, 3670016, 4194304, 4718592, 5242880}},
    };
    for (const Case& c : cases) {
        std::string text(c.size, 'a');
        for (size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('0' + i % 7);
        std::vector<int64_t> seen;
        EXPECT_TRUE(WriteFileText(path, text, 0, false, [&](int64_t total, int64_t written, bool&) {
            EXPECT_EQ(total, static_cast<int64_t>(c.size));
            seen.push_back(written);
        }));
        EXPECT_EQ(seen, c.progress) << c.size;
        EXPECT_EQ(ReadFilePart(path), text);
    }

    // Cancelled after the first chunk: the written part stays, the write reports failure.
    EXPECT_FALSE(WriteFileText(path, std::string(4096, 'c'), 0, false,
                               [](int64_t, int64_t written, bool& cancel) { cancel = written > 0; }));
    EXPECT_EQ(FileSizeByName(path), 1024);
}

TEST(FileUtilsWinTest, WriteAppendAndDate) {
    TempTree tree("write");
    const std::string path = tree.Root() + "\\a.txt";
    ASSERT_TRUE(WriteFileText(path, "first"));
    ASSERT_TRUE(WriteFileText(path, "second"));
    EXPECT_EQ(ReadFilePart(path), "second");
    ASSERT_TRUE(WriteFileText(path, "+more", 0, true));
    EXPECT_EQ(ReadFilePart(path), "second+more");
    ASSERT_TRUE(WriteFileText(path, ""));
    EXPECT_EQ(FileSizeByName(path), 0);

    const std::string log = tree.Root() + "\\run.log";
    ASSERT_TRUE(AppendToFile(log, "a"));
    ASSERT_TRUE(AppendToFile(log, "b"));
    ASSERT_TRUE(AppendToFile(log, "c", false));
    EXPECT_EQ(ReadFilePart(log), "a\r\nb\r\nc");

    // 2019-06-15 12:30:20 as a DOS date-time.
    const uint32_t dos = (uint32_t((2019 - 1980) << 9 | 6 << 5 | 15) << 16) | (12 << 11 | 30 << 5 | 10);
    ASSERT_TRUE(WriteFileText(path, "dated", dos));
    ASSERT_TRUE(AppendToFile(log, "d", true, dos));
    for (const std::string& f : {path, log}) {
        ScopedHandle h(CreateFileA(f.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME utc, local;
        WORD date = 0, time = 0;
        ASSERT_TRUE(GetFileTime(h.get(), nullptr, nullptr, &utc));
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        ASSERT_TRUE(FileTimeToDosDateTime(&local, &date, &time));
        EXPECT_EQ((uint32_t(date) << 16) | time, dos) << f;
    }

    EXPECT_FALSE(WriteFileText(tree.Root() + "\\no\\such\\dir\\x.txt", "x"));
}

TEST(FileUtilsWinTest, ReadFilePartRanges) {
    TempTree tree("read");
    const std::string path = tree.File("digits.txt", "0123456789");
    struct Case {
        int64_t max;
        bool trim;
        int64_t offset;
        std::string expected;
    } cases[] = {
        {0, false, 0, "0123456789"}, {3, false, 2, "234"}, {0, false, 9, "9"}, {5, false, 8, "89"},
        {0, false, 10, ""},          {0, false, 11, ""},   {0, false, -1, ""}, {-1, false, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadFilePart(path, c.max, c.trim, c.offset), c.expected) << c.max << " " << c.offset;
    const std::string padded = tree.File("padded.txt", "  ab \r\n");
    EXPECT_EQ(ReadFilePart(padded, 0, true), "ab");
    EXPECT_EQ(ReadFilePart(padded), "  ab \r\n");
    EXPECT_EQ(ReadFilePart(tree.Root() + "\\missing.txt"), "");

    // Readable while another handle writes to it.
    ScopedHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    EXPECT_EQ(ReadFilePart(path, 2), "01");

    EXPECT_EQ(FileSizeByName(path), 10);
    EXPECT_EQ(FileSizeByName(tree.Root() + "\\dig*.txt"), 10);
    EXPECT_EQ(FileSizeByName(tree.Root() + "\\missing.txt"), 0);
}

TEST(FileUtilsWinTest, DeleteFilesByMask) {
    TempTree tree("delfiles");
    const std::string plain = tree.File("a.tmp");
    const std::string readOnly = tree.File("b.tmp");
    const std::string hidden = tree.File("c.tmp");
    const std::string other = tree.File("keep.txt");
    tree.Dir("sub.tmp");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    EXPECT_TRUE(DeleteFiles(tree.Root() + "\\*.tmp", false));
    EXPECT_FALSE(Exists(plain));
    EXPECT_TRUE(Exists(readOnly));  // read-only files need the attributes cleared
    EXPECT_TRUE(DeleteFiles(tree.Root() + "\\*.tmp", true));
    EXPECT_FALSE(Exists(readOnly));
    EXPECT_FALSE(Exists(hidden));
    EXPECT_TRUE(Exists(other));
    EXPECT_TRUE(Exists(tree.Root() + "\\sub.tmp"));
    EXPECT_FALSE(DeleteFiles(tree.Root() + "\\*.tmp", true));  // only a folder matches now
}

TEST(FileUtilsWinTest, DeleteTree) {
    TempTree tree("deltree");
    EXPECT_FALSE(DeleteTree(tree.Root() + "\\missing", true));

    const std::string top = tree.Dir("top");
    tree.Dir("top\\a\\deep\\deeper");
    tree.Dir("top\\b");
    tree.File("top\\f.txt");
    const std::string ro = tree.File("top\\a\\deep\\ro.txt");
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((top + "\\b").c_str(), FILE_ATTRIBUTE_READONLY);

    // Cancelled after the first subfolder: the rest stays and the result is false.
    std::vector<std::string> reported;
    EXPECT_FALSE(DeleteTree(top, true, [&](const std::string& folder, bool& cancel) {
        reported.push_back(folder);
        cancel = true;
    }));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_FALSE(Exists(reported[0]));
    EXPECT_TRUE(Exists(top));

    reported.clear();
    EXPECT_TRUE(DeleteTree(top + "\\", true, [&](const std::string& folder, bool&) { reported.push_back(folder); }));
    EXPECT_FALSE(Exists(top));
    EXPECT_EQ(reported.size(), 1u);  // only the subfolder that was left

    // A locked file stays, and so does its folder.
    const std::string locked = tree.Dir("locked");
    const std::string file = tree.File("locked\\busy.txt");
    {
        ScopedHandle lock(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.valid());
        EXPECT_FALSE(DeleteTree(locked, true));
        EXPECT_TRUE(Exists(file));
    }
    EXPECT_TRUE(DeleteTree(locked, true));
}

TEST(FileUtilsWinTest, DeleteTreeRemovesALinkAtTheTopAsALink) {
    // Someone else made the folder name a link to a folder of theirs: the link goes (or stays,
    // where it cannot be removed), what it leads to stays whole.
    TempTree tree("deltreelink");
    const std::string target = tree.Dir("target");
    const std::string kept = tree.File("target\\keep.txt");
    tree.Dir("target\\sub");
    const std::string keptDeep = tree.File("target\\sub\\deep.txt");
    const std::string link = tree.Root() + "\\SETUP_1";
    ASSERT_TRUE(testsupport::MakeFolderLink(link, target));

    for (const std::string& path : {link, link + "\\"}) DeleteTree(path, true);
    EXPECT_TRUE(Exists(kept));
    EXPECT_TRUE(Exists(keptDeep));
    testsupport::RemoveLink(link);
}

TEST(FileUtilsWinTest, DeletesNeverReachWhatAFileLinkLeadsTo) {
    TempTree tree("filelink");
    const std::string victim = tree.File("victim.txt", "victim");
    const std::string top = tree.Dir("top");
    tree.Dir("top\\sub");
    const std::string links[] = {top + "\\a.tmp", top + "\\sub\\b.tmp"};
    for (const std::string& link : links) ASSERT_TRUE(testsupport::MakeFileLink(link, victim)) << link;

    DeleteFiles(top + "\\*.tmp", true);
    EXPECT_EQ(ReadFilePart(victim), "victim");
    DeleteTree(top, true);
    EXPECT_EQ(ReadFilePart(victim), "victim");
    for (const std::string& link : links) testsupport::RemoveLink(link);
}

// Runs `action` once, when DeleteTree is about to open the entry at `path` (while it exists).
class BeforeOpening {
public:
    BeforeOpening(const std::string& path, std::function<void()> action) : path_(path), action_(std::move(action)) {
        active_ = this;
        SetDeleteTreeEntrySeam(&Seam);
    }
    ~BeforeOpening() {
        SetDeleteTreeEntrySeam(nullptr);
        active_ = nullptr;
    }
    bool Fired() const { return fired_; }

private:
    static void Seam(const std::string& path) {
        BeforeOpening* b = active_;
        if (!b || b->fired_ || lstrcmpiA(path.c_str(), b->path_.c_str()) != 0) return;
        b->fired_ = true;
        b->action_();
    }
    static BeforeOpening* active_;
    std::string path_;
    std::function<void()> action_;
    bool fired_ = false;
};
BeforeOpening* BeforeOpening::active_ = nullptr;

TEST(FileUtilsWinTest, DeleteTreeDoesNotFollowALinkSwappedIn) {
    // A user-level process moves an entry aside and puts a link to a folder of its choice in its
    // place, between the delete's look at the entry and its opening.
    for (const std::string rel : {"top", "top\\b", "top\\a\\c"}) {
        TempTree tree("swap");
        const std::string victim = tree.Dir("victim");
        const std::string kept = tree.File("victim\\keep.txt", "victim");
        tree.Dir("victim\\sub");
        const std::string keptDeep = tree.File("victim\\sub\\deep.txt", "victim");
        const std::string top = tree.Dir("top");
        tree.Dir("top\\a\\c");
        tree.Dir("top\\b");
        for (const char* f : {"top\\f.txt", "top\\a\\x.txt", "top\\a\\c\\y.txt", "top\\b\\z.txt"}) tree.File(f);

        const std::string target = tree.Root() + "\\" + rel;
        bool swapped = false;
        {
            BeforeOpening swap(target, [&] {
                swapped = MoveFileA(target.c_str(), (tree.Root() + "\\aside").c_str()) &&
                          testsupport::MakeFolderLink(target, victim);
            });
            DeleteTree(top, true);
            EXPECT_TRUE(swap.Fired()) << rel;
        }
        EXPECT_TRUE(swapped) << rel;
        EXPECT_EQ(ReadFilePart(kept), "victim") << rel;
        EXPECT_EQ(ReadFilePart(keptDeep), "victim") << rel;
        testsupport::RemoveLink(target);
    }
}

TEST(FileUtilsWinTest, DeleteTreeHoldsAFolderAgainstRenamingWhileEmptyingIt) {
    TempTree tree("hold");
    const std::string top = tree.Dir("top");
    const std::string folder = tree.Dir("top\\a");
    const std::string inner = tree.File("top\\a\\x.txt");
    bool renamed = false;
    bool gone = false;
    {
        BeforeOpening probe(inner, [&] { renamed = MoveFileA(folder.c_str(), (tree.Root() + "\\aside").c_str()); });
        gone = DeleteTree(top, true);
        EXPECT_TRUE(probe.Fired());
    }
    EXPECT_FALSE(renamed) << "the folder being emptied could be renamed";
    EXPECT_TRUE(gone);
}

TEST(FileUtilsWinTest, DeleteTreeRefusesDriveRootsAndEmptyPaths) {
    // A drive of its own for a scratch folder, so that a failure deletes nothing else.
    TempTree tree("deltreeroot");
    const std::string kept = tree.File("keep.txt");
    tree.Dir("sub");
    const std::string keptDeep = tree.File("sub\\deep.txt");
    char letter = 0;
    for (char l = 'Q'; l <= 'Y' && !letter; ++l)
        if (!(GetLogicalDrives() & (1u << (l - 'A'))) && testsupport::MapDriveLetter(l, tree.Root())) letter = l;
    ASSERT_NE(letter, 0) << "no drive letter could be mapped";
    struct Unmap {
        char letter;
        ~Unmap() { testsupport::UnmapDriveLetter(letter); }
    } unmap{letter};
    const std::string drive(1, letter);
    ASSERT_TRUE(Exists(drive + ":\\keep.txt"));

    const std::string previous = [] {
        char buf[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, buf);
        return std::string(buf);
    }();
    SetCurrentDirectoryA((drive + ":\\sub").c_str());  // "X:" alone then means this folder
    for (const std::string& root : {drive + ":\\", drive + ":", drive + ":/", drive + ":\\sub\\..", std::string()})
        EXPECT_FALSE(DeleteTree(root, true)) << root;
    SetCurrentDirectoryA(previous.c_str());
    EXPECT_TRUE(Exists(kept));
    EXPECT_TRUE(Exists(keptDeep));
}

TEST(FileUtilsWinTest, SearchTrees) {
    TempTree tree("search");
    tree.Dir("a\\b\\c");
    tree.Dir("x\\Target");
    const std::string target = tree.File("a\\b\\c\\target.txt");
    tree.File("x\\other.txt");

    EXPECT_EQ(FindFileInTree(tree.Root(), "target.txt"), target);
    EXPECT_EQ(FindFileInTree(tree.Root() + "\\", "target.txt"), target);
    EXPECT_EQ(FindFileInTree(tree.Root(), "nothing.txt"), "");
    EXPECT_EQ(FindFileInTree(tree.Root() + "\\missing", "target.txt"), "");

    EXPECT_EQ(FindDirInTree(tree.Root(), "c"), tree.Root() + "\\a\\b\\c");
    EXPECT_EQ(FindDirInTree(tree.Root(), "target"), tree.Root() + "\\x\\Target");
    EXPECT_EQ(FindDirInTree(tree.Root() + "\\a\\", "a"), tree.Root() + "\\a");  // the folder itself counts
    EXPECT_EQ(FindDirInTree(tree.Root(), "b\\c"), tree.Root() + "\\a\\b\\c");
    EXPECT_EQ(FindDirInTree(tree.Root(), "zzz"), "");

    // Absolute names are checked on their own drive; no drive of a type means no search at all.
    const UINT tempType = GetDriveTypeA(DriveRootOf(tree.Root()).c_str());
    EXPECT_EQ(FindDirOnDrives(tree.Root() + "\\a", tempType), tree.Root() + "\\a");
    EXPECT_EQ(FindDirOnDrives(tree.Root() + "\\nope", tempType), "");
    EXPECT_EQ(FindDirOnDrives(tree.Root() + "\\a", DRIVE_REMOTE), "");
    EXPECT_EQ(FindFileOnDrives("target.txt", DRIVE_REMOTE), "");
    EXPECT_EQ(FindDirOnDrives("c", DRIVE_REMOTE), "");
}

TEST(FileUtilsWinTest, FreeSpaceAndEject) {
    const double free = DiskFree(TempDir(true));
    EXPECT_GT(free, 0);
    EXPECT_GT(DiskFree(TempDir(true) + "no\\such\\folder"), 0);  // falls back to the drive root
    EXPECT_EQ(DiskFree(""), 0);

    DebugCapture capture;
    EXPECT_FALSE(EjectCD(TempDir(true)));  // a fixed disk
    EXPECT_FALSE(EjectCD(""));
    EXPECT_FALSE(EjectCD("1:\\"));
    EXPECT_FALSE(capture.Contains("EjectCD")) << "nothing may be opened: " << capture.Text();
}

// The names in the temp folder, but for the tests' own folders.
std::vector<std::string> TempNames() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((TempDir(true) + "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return names;
    do
        if (!StartsWith("vel_files_", fd.cFileName, true)) names.push_back(fd.cFileName);
    while (FindNextFileA(find, &fd));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a copy of this program that deletes itself (mode as for VEL_DELETE_MYSELF) and returns the
// process it started for that, or null when it started none.
HANDLE RunSelfDelete(const std::string& copy, const std::string& mode) {
    SetEnvironmentVariableA("VEL_DELETE_MYSELF", mode.c_str());
    testsupport::ChildProcess child;
    const bool started = child.Start("\"" + copy + "\"", TempDir(false));
    SetEnvironmentVariableA("VEL_DELETE_MYSELF", nullptr);
    if (!started || child.Wait(60000) != 0) return nullptr;
    ScopedHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    if (snap && Process32First(snap.get(), &pe)) {
        do
            if (pe.th32ParentProcessID == child.Pid()) return OpenProcess(SYNCHRONIZE, FALSE, pe.th32ProcessID);
        while (Process32Next(snap.get(), &pe));
    }
    return nullptr;
}

TEST(FileUtilsWinTest, DeleteMySelfGivesUpOnAnImageHeldOpenAndWritesNothing) {
    TempTree tree("held");
    const std::string copy = tree.Root() + "\\selfdel.exe";
    ASSERT_TRUE(CopyFileA(testsupport::ThisProgram().c_str(), copy.c_str(), FALSE));
    // Another process of the session keeps the image open: it cannot be deleted.
    ScopedHandle hold(CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold.valid());
    const std::vector<std::string> before = TempNames();

    ScopedHandle cmd(RunSelfDelete(copy, "10"));
    ASSERT_TRUE(cmd.valid()) << "no self-delete process";
    const DWORD ended = GetTickCount();
    EXPECT_EQ(TempNames(), before) << "something was written to the temp folder";
    // About thirty tries a second apart, then it gives up.
    EXPECT_EQ(WaitForSingleObject(cmd.get(), 90000), WAIT_OBJECT_0) << "the self-delete does not end";
    const DWORD took = GetTickCount() - ended;
    EXPECT_GE(took, 20000u) << "its pause does not wait";
    EXPECT_TRUE(Exists(copy));
    EXPECT_EQ(TempNames(), before);
    hold.reset();
    DeleteFileA(copy.c_str());
}

TEST(FileUtilsWinTest, DeleteMySelfSkipsAPathCmdCannotTakeQuoted) {
    TempTree tree("pct");
    const std::string folder = tree.Dir("100% sure");
    const std::string copy = folder + "\\selfdel.exe";
    ASSERT_TRUE(CopyFileA(testsupport::ThisProgram().c_str(), copy.c_str(), FALSE));
    ASSERT_EQ(testsupport::RunProgram(copy, "\"" + copy + "\"", "VEL_DELETE_MYSELF", "10", 60000), 3);
    Sleep(1500);
    EXPECT_TRUE(Exists(copy));
}

TEST(FileUtilsWinTest, DeleteMySelfRemovesACopyAfterItEnds) {
    struct Case {
        std::string mode;  // remove folder, short names
        bool folderGone;
    } cases[] = {{"10", true}, {"01", false}};
    // Another program of the user put a link under the batch file's old fixed name, leading to a
    // file of its choice: the self-deletion must neither write through it nor run it.
    TempTree planted("planted");
    const std::string victim = planted.File("victim.txt", "victim");
    const std::string oldName = TempDir(true) + "_DEL_ME_.BAT";
    ASSERT_TRUE(testsupport::MakeFileLink(oldName, victim));
    const std::vector<std::string> before = TempNames();
    for (const Case& c : cases) {
        TempTree tree("self " + c.mode);  // a blank in the folder name
        const std::string folder = tree.Dir("copy dir");
        const std::string copy = folder + "\\selfdel.exe";
        ASSERT_TRUE(CopyFileA(testsupport::ThisProgram().c_str(), copy.c_str(), FALSE));

        ScopedHandle cmd(RunSelfDelete(copy, c.mode));
        ASSERT_TRUE(cmd.valid()) << c.mode << ": no self-delete process";
        EXPECT_EQ(WaitForSingleObject(cmd.get(), 60000), WAIT_OBJECT_0) << c.mode;
        EXPECT_FALSE(Exists(copy)) << c.mode;
        EXPECT_EQ(Exists(folder), !c.folderGone) << c.mode;
        EXPECT_EQ(TempNames(), before) << c.mode << ": something was left in the temp folder";
    }
    EXPECT_TRUE(Exists(testsupport::ThisProgram()));
    EXPECT_EQ(ReadFilePart(victim), "victim");
    testsupport::RemoveLink(oldName);
}

}  // namespace
