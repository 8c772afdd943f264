#pragma once
// Windows-only test helpers for links that another program may plant: a folder link in place of
// a folder, a link in place of a file, and a drive letter of its own for a scratch folder. On Windows they are a junction and
// a DOS device; Wine can make neither, so under Wine they are made on the host side (a symbolic
// link, which Wine shows as a linked folder; a link in the prefix's "dosdevices" folder).
#include <string>

namespace vel {
namespace testsupport {

// The host's name of a path under Wine; empty elsewhere.
std::string HostPath(const std::string& path);

// Makes `link` (which must not exist) a folder link to the folder `target`; true when `link` then
// shows as a linked folder (FILE_ATTRIBUTE_REPARSE_POINT).
bool MakeFolderLink(const std::string& link, const std::string& target);
// Makes `link` a symbolic link to the file `target` (replacing what stands there); true when
// `link` then exists.
bool MakeFileLink(const std::string& link, const std::string& target);
// Removes a link made by either, itself only, never what it leads to.
void RemoveLink(const std::string& link);

// Lets the drive letter `letter` (not in use) lead to `folder`; true when "X:\" then lists it.
bool MapDriveLetter(char letter, const std::string& folder);
void UnmapDriveLetter(char letter);

}  // namespace testsupport
}  // namespace vel
