#pragma once
// Windows-only. Whether this process runs with administrator rights.
namespace vel {

// True when the process token is elevated (TokenElevation), and when that cannot be read: the
// protections of an elevated run are then kept on.
bool IsProcessElevated();

}  // namespace vel
