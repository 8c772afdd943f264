#pragma once
// Text rules behind the file utilities of Utils.h, kept free of the Windows API so they can be
// checked on any host: the one place for path text (file name, folder, extension and drive
// parts, backslash clean-up), chunked writing, the free-space query path and the self-delete
// script. Never throws.
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

// Batch script that deletes `exe` (retrying until its process has ended), optionally removes
// `folder`, and deletes itself (`batch`). Lines end with CR LF; quote is "\"" or empty.
std::string SelfDeleteScript(const std::string& exe, const std::string& folder, const std::string& batch,
                             const std::string& quote, bool removeFolder);

}  // namespace vel
