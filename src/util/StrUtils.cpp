// Text utilities over counted 8-bit strings. See StrUtils.h.
#include "util/StrUtils.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "util/Catch.h"
#include "util/Clock.h"
#include "util/DecimalText.h"
#include "util/SUB.h"

namespace vel {

namespace {

char UpChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a hex digit, -1 for anything else.
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

const char kHexDigits[] = "0123456789ABCDEF";

// Whole text as an unsigned number in base 2..16 (upper-case digits); false for an empty text,
// a foreign character, a digit not below the base, or more than 64 bits.
bool ParseUnsigned(const std::string& s, int base, uint64_t& v) {
    if (base < 2 || base > 16 || s.empty()) return false;
    const uint64_t b = static_cast<uint64_t>(base);
    const uint64_t limit = std::numeric_limits<uint64_t>::max();
    v = 0;
    for (char c : s) {
        const char* hit = std::find(kHexDigits, kHexDigits + base, c);
        if (hit == kHexDigits + base) return false;
        const uint64_t d = static_cast<uint64_t>(hit - kHexDigits);
        if (v > (limit - d) / b) return false;
        v = v * b + d;
    }
    return true;
}

// printf-style fixed-point text with "." as decimal point.
std::string FixedText(double value, int decimals) {
    if (value == 0.0) value = 0.0;  // no "-0"
    return FixedDecimal(value, decimals);
}

// Date-time values: -1 means now, everything else is clamped to 0 .. 10000000 days.
double ResolveDateTime(double value) {
    if (value == -1.0) return NowDateTime();
    if (!(value >= 0.0)) return 0.0;  // also NaN
    return std::min(value, 10000000.0);
}

// Days since 1 March of year 0 style civil conversions (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kDaysTo1970 = 25569;  // 30 Dec 1899 -> 1 Jan 1970

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return kDays[month - 1];
}

std::string TwoDigits(int n) { return IntZeroPad(n, 2); }

// Small 64-bit generator (splitmix64), seeded once from the clock and this process's address
// layout. Enough for folder numbers and scrambling keys; the library's engines and seeding
// machinery would cost the stub several kilobytes.
uint64_t NextRandom() {
    static uint64_t state = [] {
        int local = 0;
        const uint64_t t = UnixTimeMs() * 1000003u ^ MonotonicMs();
        const uint64_t a = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&local));
        const uint64_t c = static_cast<uint64_t>(std::clock());
        return t ^ (a << 17 | a >> 47) ^ (c << 40);
    }();
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

// ---------------------------------------------------------------- search and replace

int PosEx(const std::string& sub, const std::string& text, int from, bool ignoreCase) {
    if (from < 1 || sub.empty() || static_cast<size_t>(from) > text.size()) return 0;
    if (sub.size() > text.size()) return 0;
    const size_t start = static_cast<size_t>(from - 1);
    if (!ignoreCase) {
        const size_t p = text.find(sub, start);
        return p == std::string::npos ? 0 : static_cast<int>(p + 1);
    }
    const size_t last = text.size() - sub.size();
    const char first = UpChar(sub[0]);
    for (size_t i = start; i <= last; ++i) {
        if (UpChar(text[i]) != first) continue;
        size_t k = 1;
        while (k < sub.size() && UpChar(text[i + k]) == UpChar(sub[k])) ++k;
        if (k == sub.size()) return static_cast<int>(i + 1);
    }
    return 0;
}

int PosCI(const std::string& sub, const std::string& text) { return PosEx(sub, text, 1, true); }

int LastPos(const std::string& sub, const std::string& text) {
    if (sub.empty()) return 0;
    const size_t p = text.rfind(sub);
    return p == std::string::npos ? 0 : static_cast<int>(p + 1);
}

bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase) {
    if (prefix.empty() || prefix.size() > text.size()) return false;
    return PosEx(prefix, text.substr(0, prefix.size()), 1, ignoreCase) == 1;
}

bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase) {
    if (suffix.size() > text.size()) return false;
    const std::string tail = text.substr(text.size() - suffix.size());
    return ignoreCase ? UpperCase(tail) == UpperCase(suffix) : tail == suffix;
}

int EndsWithCI(const std::string& suffix, const std::string& text) {
    return EndsWith(suffix, text, true) ? 1 : 0;
}

bool SameTextTrimmed(const std::string& a, const std::string& b) {
    return UpperCase(Trim(a)) == UpperCase(Trim(b));
}

std::string ReplaceText(const std::string& text, const std::string& find, const std::string& repl,
                        int lastOcc, int firstOcc, bool ignoreCase, bool trim) {
    if (text.empty() || find.empty()) return trim ? Trim(text) : text;
    if (lastOcc <= 0) lastOcc = firstOcc;
    std::string out;
    VEL_TRY {
        out.reserve(text.size());
        int n = 0;
        size_t done = 0;  // characters of text already copied
        int p = PosEx(find, text, 1, ignoreCase);
        while (p > 0) {
            ++n;
            const size_t at = static_cast<size_t>(p - 1);
            const bool hit = n >= firstOcc && (lastOcc <= 0 || n <= lastOcc);
            if (hit) {
                out.append(text, done, at - done);
                out += repl;
                done = at + find.size();
            } else {
                out.append(text, done, at + 1 - done);
                done = at + 1;
            }
            if (lastOcc > 0 && n >= lastOcc) break;
            p = PosEx(find, text, static_cast<int>(done + 1), ignoreCase);
        }
        out.append(text, done, std::string::npos);
    } VEL_CATCH_ALL {
        out = text;
    }
    return trim ? Trim(out) : out;
}

std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& repl) {
    return ReplaceText(text, find, repl, 0, 0, false, false);
}

std::string ReplaceAllCI(const std::string& text, const std::string& find, const std::string& repl) {
    return ReplaceText(text, find, repl, 0, 0, true, false);
}

std::string ReplaceRepeat(const std::string& text, const std::string& find, const std::string& repl, bool trim) {
    std::string s = text;
    if (!find.empty() && repl.find(find) == std::string::npos && repl.size() >= find.size()) {
        // A replacement that does not shrink the text could create new occurrences for ever
        // ("ab" by "bbaa" in "aab"): each occurrence of the original text is replaced once.
        s = ReplaceAll(s, find, repl);
    } else if (!find.empty() && repl.find(find) == std::string::npos) {
        VEL_TRY {
            // A new occurrence can only start shortly before the piece just replaced.
            size_t p = s.find(find);
            while (p != std::string::npos) {
                s.replace(p, find.size(), repl);
                p = s.find(find, p >= find.size() ? p - find.size() + 1 : 0);
            }
        } VEL_CATCH_ALL {
            s = text;
        }
    }
    return trim ? Trim(s) : s;
}

std::string ReplaceChar(const std::string& text, char from, char to) {
    std::string s = text;
    if (from != to) std::replace(s.begin(), s.end(), from, to);
    return s;
}

std::string FilterChars(const std::string& text, const std::string& allowed, const std::string& excluded) {
    std::string s;
    for (char c : text)
        if (allowed.find(c) != std::string::npos && excluded.find(c) == std::string::npos) s += c;
    return s;
}

std::string TextBefore(const std::string& text, const std::string& sep, const std::string& def, bool trim) {
    const int p = PosEx(sep, text, 1, false);
    if (p == 0) return def;
    const std::string s = text.substr(0, static_cast<size_t>(p - 1));
    return trim ? Trim(s) : s;
}

std::string TextAfter(const std::string& text, const std::string& sep, const std::string& def,
                      bool ignoreCase, bool trim) {
    const int p = PosEx(sep, text, 1, ignoreCase);
    if (p == 0) return def;
    const std::string s = text.substr(static_cast<size_t>(p - 1) + sep.size());
    return trim ? Trim(s) : s;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

// ---------------------------------------------------------------- case and blanks

std::string UpperCase(const std::string& text) {
    std::string s = text;
    std::transform(s.begin(), s.end(), s.begin(), UpChar);
    return s;
}

std::string LowerCase(const std::string& text) {
    std::string s = text;
    std::transform(s.begin(), s.end(), s.begin(), LowChar);
    return s;
}

std::string Trim(const std::string& text) { return TrimLeft(TrimRight(text)); }

std::string TrimLeft(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return text.substr(i);
}

std::string TrimRight(const std::string& text) {
    size_t n = text.size();
    while (n > 0 && IsBlank(text[n - 1])) --n;
    return text.substr(0, n);
}

// ---------------------------------------------------------------- trimming and quoting

std::string TrimChar(const std::string& text, char c, bool always) {
    if (text.size() == 1 && text[0] == c) return std::string();
    const bool both = !text.empty() && text.front() == c && text.back() == c;
    if (!((always && text.size() > 1) || both)) return text;
    const size_t b = text.find_first_not_of(c);
    if (b == std::string::npos) return std::string();
    const size_t e = text.find_last_not_of(c);
    return text.substr(b, e - b + 1);
}

std::string Unquote(const std::string& text, bool always) { return TrimChar(Trim(text), '"', always); }

std::string Quote(const std::string& text) { return "\"" + Unquote(text, true) + "\""; }

std::string Enclose(const std::string& text, char c, bool stripFirst) {
    const std::string s = stripFirst ? TrimChar(text, c, true) : text;
    return std::string(1, c) + s + c;
}

// ---------------------------------------------------------------- fixed widths and numbers

std::string PadLeft(const std::string& text, int width, char pad) {
    std::string s = text;
    // Widened first: the negation of INT_MIN does not fit an int.
    int64_t target = width;
    if (width < -2) {
        target = -target;
        if (s.size() > static_cast<uint64_t>(target)) s = s.substr(0, static_cast<size_t>(target - 1)) + ".";
    }
    if (target <= 0 || s.size() >= static_cast<uint64_t>(target)) return s;
    std::string out;
    out.reserve(static_cast<size_t>(target));
    out.append(static_cast<size_t>(target) - s.size(), pad);
    out += s;
    return out;
}

std::string ZeroPad(const std::string& text, int width) { return PadLeft(text, width, '0'); }

std::string IntZeroPad(int64_t number, int width) {
    if (number >= 0) return PadLeft(IntToStr(number), width, '0');
    // The sign goes before the zeros: -5 at width 3 is "-05".
    const std::string digits = IntToStr(number).substr(1);
    return "-" + PadLeft(digits, width - 1, '0');
}

std::string InsertThousands(const std::string& numberText) {
    size_t end = numberText.find('.');
    if (end == std::string::npos) end = numberText.size();
    size_t begin = end;
    while (begin > 0 && IsDigit(numberText[begin - 1])) --begin;
    std::string out = numberText.substr(0, begin);
    for (size_t i = begin; i < end; ++i) {
        if (i > begin && (end - i) % 3 == 0) out += ',';
        out += numberText[i];
    }
    out += numberText.substr(end);
    return out;
}

std::string FormatUnits(bool thousands, int decimals, double divisor, double value) {
    if (divisor == 0.0 || std::isnan(divisor)) divisor = 1.0;
    const double q = value / divisor;
    std::string s;
    if (decimals < 1)
        s = FixedText(std::ceil(q), 0);
    else if (decimals >= 2 && decimals <= 4)
        s = FixedText(q, decimals);
    else
        s = FixedText(q, 1);
    return thousands ? InsertThousands(s) : s;
}

std::string FormatKB(bool thousands, int decimals, double value) {
    return FormatUnits(thousands, decimals, 1024.0, value);
}

std::string FormatMB(bool thousands, int decimals, double value) {
    return FormatUnits(thousands, decimals, 1048576.0, value);
}

double ParseFloatDot(const std::string& text, double def) {
    std::string s = Trim(text);
    if (s.find('.') == std::string::npos) s = ReplaceChar(s, ',', '.');
    s.erase(std::remove(s.begin(), s.end(), ','), s.end());
    if (s.empty()) return def;
    double v = 0;
    return ParseDecimal(s, v) ? v : def;
}

namespace {
std::string g_decimalSeparator = ".";
}  // namespace

void SetDecimalSeparator(const std::string& separator) {
    g_decimalSeparator = separator.empty() ? std::string(".") : separator;
}

std::string FloatText(double value, int decimals, bool stripZeros) {
    std::string s = FixedText(value, decimals);
    if (stripZeros && s.find('.') != std::string::npos) {
        s = TrimChar(s, '0', true);
        if (s.find('.') != 0) s = TrimChar(s, '.', true);
        if (s == "." || s.empty()) s = "0";
    }
    return g_decimalSeparator == "." ? s : ReplaceAll(s, ".", g_decimalSeparator);
}

int64_t ParseInt(const std::string& text, int base, int64_t def) {
    uint64_t v = 0;
    return ParseUnsigned(UpperCase(Trim(text)), base, v) ? static_cast<int64_t>(v) : def;
}

int64_t HexToInt(const std::string& text, int64_t def) {
    std::string s = Trim(text);
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.erase(0, 2);
    return ParseInt(s, 16, def);
}

namespace {

// Signed decimal digits from position i of a trimmed text; def when anything else is there or
// the value leaves the signed 64-bit range.
int64_t DecimalFrom(const std::string& s, size_t i, bool negative, int64_t def) {
    if (i >= s.size()) return def;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return def;
        const uint64_t d = static_cast<uint64_t>(s[i] - '0');
        if (v > (limit - d) / 10) return def;
        v = v * 10 + d;
    }
    return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

}  // namespace

int64_t StrToInt64Def(const std::string& text, int64_t def) {
    const std::string s = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return def;
    if (s[i] == '$' || (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X'))) {
        i += s[i] == '$' ? 1 : 2;
        uint64_t v = 0;
        if (!ParseUnsigned(UpperCase(s.substr(i)), 16, v)) return def;
        return static_cast<int64_t>(negative ? 0 - v : v);
    }
    return DecimalFrom(s, i, negative, def);
}

int64_t DecimalToInt64(const std::string& text, int64_t def) {
    const std::string s = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    return DecimalFrom(s, i, negative, def);
}

int64_t RoundToInt64(double value) {
    if (!(value > -9.2e18 && value < 9.2e18)) return 0;
    const int64_t whole = static_cast<int64_t>(value);             // toward zero
    const double fraction = value - static_cast<double>(whole);    // exact below 2^53; 0 above
    return fraction >= 0.5 ? whole + 1 : fraction <= -0.5 ? whole - 1 : whole;
}

std::string IntToStr(int64_t value) {
    // Digits from the right into a buffer; the magnitude as unsigned so INT64_MIN works too.
    char buf[24];
    char* p = buf + sizeof buf;
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0) *--p = '-';
    return std::string(p, static_cast<size_t>(buf + sizeof buf - p));
}

std::string HexDump(const std::string& bytes, bool spaced, bool prefixed) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (prefixed) out += "0x";
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
        if (spaced) {
            out += ' ';
            if ((i + 1) % 8 == 0) out += ' ';
        }
    }
    return out;
}

std::string HexToBytes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = HexValue(text[i]);
        const int lo = HexValue(text[i + 1]);
        out += (hi < 0 || lo < 0) ? static_cast<char>(0xFF) : static_cast<char>(hi * 16 + lo);
    }
    return out;
}

int64_t RandomInRange(int64_t low, int64_t high) {
    if (high <= low) return low;
    const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);  // range size - 1
    uint64_t r = NextRandom();
    if (span != UINT64_MAX) {
        // Reject the top partial block of the 64-bit range so every value is equally likely.
        const uint64_t size = span + 1;
        const uint64_t limit = UINT64_MAX - UINT64_MAX % size;
        while (r >= limit) r = NextRandom();
        r %= size;
    }
    return static_cast<int64_t>(static_cast<uint64_t>(low) + r);
}

std::string RandomText(int64_t low, int64_t high) { return IntToStr(RandomInRange(low, high)); }

std::string BoolText(bool b) { return b ? "TRUE" : "FALSE"; }
std::string BoolDigit(bool b) { return b ? "1" : "0"; }
std::string IfThenStr(bool cond, const std::string& a, const std::string& b) { return cond ? a : b; }
int IfThenInt(bool cond, int a, int b) { return cond ? a : b; }
int64_t IfThen64(bool cond, int64_t a, int64_t b) { return cond ? a : b; }
int64_t Min64(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Max64(int64_t a, int64_t b) { return a > b ? a : b; }

int64_t EnsureRange64(int64_t value, int64_t low, int64_t high) {
    if (value < low) value = low;
    if (value > high) value = high;
    return value;
}

double ClampFloat(double value, double low, double high) {
    if (std::isnan(value)) return low;
    if (value < low) value = low;
    if (value > high) value = high;
    return value;
}

// ---------------------------------------------------------------- dates and times

double NowDateTime() {
    const uint64_t now = UnixTimeMs();
    const std::time_t t = static_cast<std::time_t>(now / 1000);
    const int64_t ms = static_cast<int64_t>(now % 1000);
    std::tm tm{};
#ifdef _WIN32
    const std::tm* p = std::localtime(&t);  // per-thread buffer in the Windows C runtime
    if (!p) return 0.0;
    tm = *p;
#else
    if (!localtime_r(&t, &tm)) return 0.0;
#endif
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          std::min(tm.tm_sec, 59)) +
           static_cast<double>(ms < 0 ? 0 : ms) / 86400000.0;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return 0.0;
    const int64_t days = DaysFromCivil(year, month, day) + kDaysTo1970;
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    const double v = ResolveDateTime(value);
    // Round to the millisecond first so that 12:00:00 stored as 11:59:59.9999 reads as 12:00:00.
    const int64_t ms = RoundToInt64(v * 86400000.0);
    const int64_t days = ms / 86400000;
    const int64_t msOfDay = ms % 86400000;
    CivilFromDays(days - kDaysTo1970, year, month, day);
    const int64_t secs = msOfDay / 1000;
    hour = static_cast<int>(secs / 3600);
    minute = static_cast<int>(secs / 60 % 60);
    second = static_cast<int>(secs % 60);
}

std::string DateText(double value) {
    int y, m, d, h, n, s;
    DecodeDateTime(value, y, m, d, h, n, s);
    return TwoDigits(d) + "-" + SUB::Item("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", m) + "-" +
           IntZeroPad(y, 4);
}

std::string DateTimeText(const std::string& sep, double value) {
    const double v = ResolveDateTime(value);  // one reading of "now" for both halves
    int y, m, d, h, n, s;
    DecodeDateTime(v, y, m, d, h, n, s);
    return DateText(v) + sep + TwoDigits(h) + ":" + TwoDigits(n) + ":" + TwoDigits(s);
}

std::string StampText(double value, char dateSep, char timeSep) {
    int y, m, d, h, n, s;
    DecodeDateTime(value, y, m, d, h, n, s);
    return TwoDigits(d) + dateSep + TwoDigits(m) + dateSep + TwoDigits(y % 100) + " " + TwoDigits(h) +
           timeSep + TwoDigits(n) + timeSep + TwoDigits(s);
}

uint32_t DateTimeToDos(double value) {
    int y, m, d, h, n, s;
    DecodeDateTime(value, y, m, d, h, n, s);
    if (y < 1980 || y > 2107) return 0;
    const uint32_t date = static_cast<uint32_t>((y - 1980) << 9 | m << 5 | d);
    const uint32_t time = static_cast<uint32_t>(h << 11 | n << 5 | s / 2);
    return date << 16 | time;
}

double DosToDateTime(uint32_t dos) {
    const uint32_t date = dos >> 16;
    const uint32_t time = dos & 0xFFFF;
    return EncodeDateTime(static_cast<int>(date >> 9) + 1980, static_cast<int>(date >> 5 & 15),
                          static_cast<int>(date & 31), static_cast<int>(time >> 11),
                          static_cast<int>(time >> 5 & 63), static_cast<int>(time & 31) * 2);
}

// ---------------------------------------------------------------- scrambling

// Layout: "Scrambled=01" + mode + key + body.
//   mode 'H': key is two hex digits, body is two hex digits per byte (safe in INI and text files);
//   mode 'R': key is one raw byte, body is raw bytes.
// Each byte is XORed with a stream derived from the random key, so equal texts scramble differently.
namespace {

const char kScramblePrefix[] = "Scrambled=01";

std::string XorStream(const std::string& text, unsigned char key) {
    std::string out(text.size(), '\0');
    unsigned state = key;
    for (size_t i = 0; i < text.size(); ++i) {
        state = (state * 33u + 0x5Bu + static_cast<unsigned>(i)) & 0xFFu;
        out[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ state);
    }
    return out;
}

}  // namespace

std::string ScrambleText(const std::string& text, bool encode, bool hexadecimal) {
    const std::string prefix = kScramblePrefix;
    const bool marked = StartsWith(prefix, text, false);
    VEL_TRY {
        if (encode) {
            if (marked) return text;
            const unsigned char key = static_cast<unsigned char>(RandomInRange(1, 255));
            const std::string body = XorStream(text, key);
            if (hexadecimal)
                return prefix + "H" + HexDump(std::string(1, static_cast<char>(key)), false, false) +
                       HexDump(body, false, false);
            return prefix + "R" + static_cast<char>(key) + body;
        }
        if (!marked) return text;
        const size_t at = prefix.size();
        if (at >= text.size()) return text;
        if (text[at] == 'R') {
            if (at + 2 > text.size()) return text;
            return XorStream(text.substr(at + 2), static_cast<unsigned char>(text[at + 1]));
        }
        if (text[at] != 'H') return text;
        // Hex form: tolerate a line end or blanks after it (a file read whole).
        const std::string hex = TrimRight(text.substr(at + 1));
        if (hex.size() < 2 || hex.size() % 2 != 0) return text;
        for (char c : hex)
            if (HexValue(c) < 0) return text;
        const std::string bytes = HexToBytes(hex);
        return XorStream(bytes.substr(1), static_cast<unsigned char>(bytes[0]));
    } VEL_CATCH_ALL {
        return text;
    }
}

}  // namespace vel
