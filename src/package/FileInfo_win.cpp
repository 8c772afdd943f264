// Windows-only part of the package reader.
#include "package/FileInfo_win.h"

#include <windows.h>

#include "package/FileInfo.h"

namespace vel {

double SpaceNeeded(const TGFileInfo& package, const std::string& path) {
    uint64_t clusterSize = 0;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    const std::string root = path.substr(0, 3);
    if (!root.empty() &&
        GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        clusterSize = uint64_t(sectorsPerCluster) * bytesPerSector;
    return package.SpaceForCluster(clusterSize);
}

}  // namespace vel
