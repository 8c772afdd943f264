#pragma once
// The texts and bytes of a web setup run that need no system call: where the setup file is looked
// for and fetched from, the download question, the integrity message and the update agent image
// of a web stub. Portable: no Windows API. Nothing here throws.
#include <string>

namespace vel {

// The setup file inside a local folder: the folder with a trailing backslash, then the name.
std::string WebLocalPath(const std::string& folder, const std::string& setupFileName);
// The address the setup file is fetched from: the location, "/", the name (a location ending in
// "/" thus gives "//", which is passed on unchanged).
std::string WebSetupUrl(const std::string& location, const std::string& setupFileName);

// The download question: question with "<SIZE>" replaced by the setup file's size in MiB
// (sizeText read as a decimal integer; 0 when it is not one).
std::string DownloadQuestion(const std::string& question, const std::string& sizeText);

// Shown when the setup file does not have the SHA-256 its web stub was built with.
extern const char kSetupFileAltered[];  // The downloaded setup file is damaged or has been altered.
// kSetupFileAltered and the address (or local path) the file came from, as markup.
std::string SetupFileAlteredMessage(const std::string& source);

// Turns the bytes of a web stub's own file into its update agent image, in place: a content whose
// end stamp (low dword, bytes 252..255; 0 = none) lies inside it with fewer than 10000 bytes behind it is cut
// there (that drops an appended certificate table); then the fifth byte from the end, trailer byte
// 69 of the 74-byte trailer, is set to 1 (update agent), and the image's manifest level to the
// invoker's rights (SetAgentExecutionLevel). False, with no agent to write, when the level cannot
// be set.
bool MakeWebAgentImage(std::string& content);

}  // namespace vel
