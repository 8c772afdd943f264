#pragma once
// Text rules behind the file utilities of Utils.h, kept free of the Windows API so they can be
// checked on any host: the one place for path text (file name, folder, extension and drive
// parts, backslash clean-up), chunked writing, the free-space query path, the choice of what a
// tree deletion does with an entry and the self-delete command line. Never throws.
#include <cstdint>
#include <functional>
#include <string>

namespace vel {

// Tells whether a byte is the lead byte of a double-byte character in the ANSI code page.
using LeadByteTest = bool (*)(unsigned char c);
bool NoLeadBytes(unsigned char c);  // single-byte code pages: never

// Removes a trailing backslash (only from paths longer than 2 characters and not when it is the
// second byte of a double-byte character), then appends one when wanted and none is there.
std::string SetTrailingBackslash(const std::string& path, bool wanted, LeadByteTest isLead);
// "\" alone becomes empty; otherwise a trailing backslash goes from paths longer than 1 character.
std::string ExcludeTrailingBackslash(const std::string& path, LeadByteTest isLead);
// Reduces doubled backslashes after the first character to one (a leading "\\" stays), then
// optionally removes the trailing backslash.
std::string CollapseBackslashes(const std::string& path, bool excludeTrailing, LeadByteTest isLead);
// File name without folder and without its last extension (all extensions when asked).
std::string BaseName(const std::string& path, bool allExtensions, LeadByteTest isLead);
// The folder part of a path: up to and including its last "\", "/" or ":" (empty when none).
std::string FileFolder(const std::string& path, LeadByteTest isLead = NoLeadBytes);
// The file name part of a path: after its last "\", "/" or ":" (the whole path when none).
std::string FileNamePart(const std::string& path, LeadByteTest isLead = NoLeadBytes);
// The path with the last extension of its file name removed ("C:\x.y\noext" stays as it is).
std::string StripLastExtension(const std::string& path);

// Path given to the free-space query: "/" become "\"; the drive root ("C:\") when the extended
// query is unavailable or the path is short; "\\server\share\" for network paths; otherwise the
// path cut before the first backslash from the fourth character on.
std::string VolumeQueryPath(const std::string& path, bool extendedQuery);
// "X:" from the path's first letter, upper-cased; empty for an empty path.
std::string DriveOf(const std::string& path);
// "X:\" from the path's first letter, upper-cased; empty for an empty path.
std::string DriveRootOf(const std::string& path);
// True for paths that name no folder of their own but a whole drive or share: empty, "\" (the
// current drive's root), "C:" and "C:\", "\\server" and "\\server\share", also behind the
// "\\?\" and "\\.\" prefixes ("\\?\UNC\server\share"). "/" counts as "\". A tree deletion refuses them.
bool IsRootPath(const std::string& path);

// Progress of a chunked write: called once before the first chunk (written = 0) and after each
// chunk; setting cancel stops the write.
using WriteProgress = std::function<void(int64_t total, int64_t written, bool& cancel)>;
// Writes bytes, returns how many were written (0 = failure).
using ChunkWriter = std::function<int64_t(const char* data, int64_t size)>;

// Chunk size for a write of `total` bytes: 0 means one single write (no hook, at most 1 MiB);
// otherwise total / 10 capped at 1 MiB, or min(1024, total) when total / 10 is 1024 or less.
int64_t WriteChunkSize(int64_t total, bool hasHook);
// Writes the text through `write`, chunked by WriteChunkSize, reporting to the hook. True when
// every byte was written (an empty text without hook writes nothing and succeeds).
bool WriteInChunks(const std::string& text, const WriteProgress& hook, const ChunkWriter& write);

// ---- Deleting a tree through handles ----
// What an entry of a tree is: its attributes (FILE_ATTRIBUTE_* values) and its file id (the
// volume's number for it; 0 when the file system gives none).
struct EntryFacts {
    uint32_t attributes = 0;
    uint64_t id = 0;
};
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrReparsePoint = 0x400;

enum class EntryAction {
    Leave,         // not what was listed (swapped meanwhile) or a link that was followed: keep
    RemoveLink,    // the handle is the link itself: remove it, never what it leads to
    RemoveFile,    // a plain file
    RemoveFolder,  // a plain folder: empty it through its handle, then remove it
};
// What a tree deletion does with an entry: `listed` is what its folder's listing said, `opened`
// what the handle opened without following links says, `elsewhere` that the system names the
// opened file by another path than the entry's. A handle that is a link is removed as one; a
// listed link that opened as something else, or a handle to a file elsewhere, was followed (or
// swapped) and stays; so does an entry whose id or kind changed between the listing and the opening.
EntryAction DeleteActionFor(const EntryFacts& listed, const EntryFacts& opened, bool elsewhere = false);

// ---- Self-delete ----
// How often the self-delete command tries to delete the ended program, a second apart.
constexpr int kSelfDeleteTries = 30;
// True when cmd takes the path inside double quotes literally: not empty, and none of the
// characters it expands or escapes even there ("%", "!", "^", the quote itself) nor control
// characters.
bool CmdQuotablePath(const std::string& path);
// Command line for the system's command processor (`cmd`, full path) that deletes `exe` once its
// process has ended: up to `tries` times, pausing about a second with `ping` (full path) while
// the file is still there; with removeFolder also removes `folder` once the file is gone (only
// when empty; a link there goes as a link; never a drive or share root). Nothing is written to
// disk. Empty when a path is not CmdQuotablePath or the line would be too long for cmd.
std::string SelfDeleteCommand(const std::string& cmd, const std::string& ping, const std::string& exe,
                              const std::string& folder, bool removeFolder, int tries = kSelfDeleteTries);

}  // namespace vel
