#pragma once
// Windows-only part of the package reader: the space check needs the target drive's cluster size.
#include <string>

namespace vel {

class TGFileInfo;

// Bytes the package's setup needs on the drive named by the first three characters of path:
// the space-table entry for that drive's cluster size, entry 0 when the drive cannot be queried.
double SpaceNeeded(const TGFileInfo& package, const std::string& path);

}  // namespace vel
