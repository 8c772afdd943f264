// File times as DOS date-times, over the C runtime of both platforms.
#include "FileTimes.h"

#include <ctime>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include "util/StrUtils.h"

namespace vel {

namespace {

bool LocalTime(std::time_t t, std::tm& out) {
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace

bool GetFileDosTime(const std::string& path, uint32_t& dosDate) {
    dosDate = 0;
#ifdef _WIN32
    struct _stat64 st;
    if (_stat64(path.c_str(), &st) != 0) return false;
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
#endif
    std::tm tm{};
    if (!LocalTime(static_cast<std::time_t>(st.st_mtime), tm)) return true;
    dosDate = DateTimeToDos(EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                           tm.tm_sec > 59 ? 59 : tm.tm_sec));
    return true;
}

bool SetFileDosTime(const std::string& path, uint32_t dosDate) {
    const double value = DosToDateTime(dosDate);
    if (dosDate == 0 || value == 0.0) return false;
    std::tm tm{};
    DecodeDateTime(value, tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;  // let the C runtime decide, as the local time of that date
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return false;
#ifdef _WIN32
    struct __utimbuf64 times;
    times.actime = t;
    times.modtime = t;
    return _utime64(path.c_str(), &times) == 0;
#else
    struct utimbuf times;
    times.actime = t;
    times.modtime = t;
    return utime(path.c_str(), &times) == 0;
#endif
}

}  // namespace vel
