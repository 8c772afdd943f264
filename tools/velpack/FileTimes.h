#pragma once
// Last-write times of files as DOS date-times (local time, 2-second steps), as package records
// carry them. Portable (C runtime only). Nothing throws.
#include <cstdint>
#include <string>

namespace vel {

// The file's last-write time as a DOS date-time; false when the file cannot be queried.
// A time outside 1980..2107 gives true with 0 (the record then carries no date).
bool GetFileDosTime(const std::string& path, uint32_t& dosDate);
// Sets the file's last-write (and access) time; false when it cannot be set or dosDate is not a date.
bool SetFileDosTime(const std::string& path, uint32_t dosDate);

}  // namespace vel
