#pragma once
// Safety of the file names that package records carry: a record may only write inside the
// extraction folder. Portable: no Windows API. Nothing here throws.
#include <string>
#include <vector>

namespace vel {

// The record name as a relative path with "\" separators, or empty when the name is refused:
// empty, absolute ("\", "/", "\\server"), with a drive or any ":", with a ".." (or other all-dot)
// part, with characters Windows does not allow in names, or naming a device (CON, NUL, COM1 ...).
// Empty parts and "." parts are dropped ("a\\.\b" -> "a\b").
std::string SafeRecordPath(const std::string& name);

// Folders to create, outermost first, for a safe relative path ("a\b\c.txt" -> "a", "a\b").
std::vector<std::string> RecordSubfolders(const std::string& safePath);

}  // namespace vel
