#pragma once
// Text utilities over counted 8-bit ANSI strings. Positions are 1-based; 0 means not found.
// Portable: no Windows API. No operation throws; conversions take a default for non-numbers.
#include <cstdint>
#include <string>

namespace vel {

// Search and replace
int PosEx(const std::string& sub, const std::string& text, int from, bool ignoreCase);
int PosCI(const std::string& sub, const std::string& text);
int LastPos(const std::string& sub, const std::string& text);
bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase);
bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase);
int EndsWithCI(const std::string& suffix, const std::string& text);
bool SameTextTrimmed(const std::string& a, const std::string& b);
std::string ReplaceText(const std::string& text, const std::string& find, const std::string& repl,
                        int lastOcc, int firstOcc, bool ignoreCase, bool trim);
std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& repl);
std::string ReplaceAllCI(const std::string& text, const std::string& find, const std::string& repl);
std::string ReplaceRepeat(const std::string& text, const std::string& find, const std::string& repl, bool trim);
std::string ReplaceChar(const std::string& text, char from, char to);
std::string FilterChars(const std::string& text, const std::string& allowed, const std::string& excluded);
std::string TextBefore(const std::string& text, const std::string& sep, const std::string& def, bool trim);
std::string TextAfter(const std::string& text, const std::string& sep, const std::string& def,
                      bool ignoreCase, bool trim);
std::string ReverseText(const std::string& text);

// Case and blanks (ANSI, locale-independent for a..z)
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
std::string Trim(const std::string& text);       // removes control characters and blanks (<= ' ') at both ends
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);

// Trimming and quoting
std::string TrimChar(const std::string& text, char c, bool always);
std::string Unquote(const std::string& text, bool always);
std::string Quote(const std::string& text);
std::string Enclose(const std::string& text, char c, bool stripFirst);

// Fixed widths and numbers
std::string PadLeft(const std::string& text, int width, char pad);
std::string ZeroPad(const std::string& text, int width);
std::string IntZeroPad(int64_t number, int width);
std::string InsertThousands(const std::string& numberText);
std::string FormatUnits(bool thousands, int decimals, double divisor, double value);
std::string FormatKB(bool thousands, int decimals, double value);
std::string FormatMB(bool thousands, int decimals, double value);
double ParseFloatDot(const std::string& text, double def);
// Fixed-point text with the decimal separator set by SetDecimalSeparator ("." until then); the
// zeros are stripped as if the separator were ".".
std::string FloatText(double value, int decimals, bool stripZeros);
// The user's decimal separator for FloatText; an empty text restores ".".
void SetDecimalSeparator(const std::string& separator);
int64_t ParseInt(const std::string& text, int base, int64_t def);
int64_t HexToInt(const std::string& text, int64_t def);
// Trimmed decimal with optional sign, or hex after "$" / "0x"; def when not a number or out of range.
int64_t StrToInt64Def(const std::string& text, int64_t def);
// Trimmed decimal with optional sign only (no hex); def when not a number or out of range.
int64_t DecimalToInt64(const std::string& text, int64_t def);
std::string IntToStr(int64_t value);
// The nearest integer, halves away from zero (as llround); 0 for NaN and for values outside the
// 64-bit range. Exact arithmetic, no C math library.
int64_t RoundToInt64(double value);
std::string HexDump(const std::string& bytes, bool spaced, bool prefixed);
std::string HexToBytes(const std::string& text);
int64_t RandomInRange(int64_t low, int64_t high);  // low .. high inclusive; low when high <= low
std::string RandomText(int64_t low, int64_t high);
std::string BoolText(bool b);   // "TRUE" / "FALSE"
std::string BoolDigit(bool b);  // "1" / "0"
std::string IfThenStr(bool cond, const std::string& a, const std::string& b);
int IfThenInt(bool cond, int a, int b);
int64_t IfThen64(bool cond, int64_t a, int64_t b);
int64_t Min64(int64_t a, int64_t b);
int64_t Max64(int64_t a, int64_t b);
int64_t EnsureRange64(int64_t value, int64_t low, int64_t high);
double ClampFloat(double value, double low, double high);

// Dates and times. A date-time value counts days (with fraction) since 30 December 1899;
// -1 means now (local time); values are clamped to 0 .. 10000000.
double NowDateTime();
std::string DateText(double value);                             // 06-DEC-2026
std::string DateTimeText(const std::string& sep, double value); // DateText + sep + HH:NN:SS
// dd/mm/yy HH:NN:SS; callers on Windows pass the user's separators.
std::string StampText(double value, char dateSep = '/', char timeSep = ':');
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);  // 0 when a field is invalid
void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute, int& second);
// DOS packed date-time (date in the high 16 bits, time in the low 16 bits); 0 when out of range.
uint32_t DateTimeToDos(double value);
double DosToDateTime(uint32_t dos);  // 0 when the packed fields are not a valid date-time

// Scrambling of short texts, marked by the prefix "Scrambled=01"; reversible. With hexadecimal the
// body is hex digits (safe in INI/text files), otherwise raw bytes; descrambling reads the form from
// the text. Unmarked (or malformed) texts are returned unchanged when descrambling.
std::string ScrambleText(const std::string& text, bool encode, bool hexadecimal);

}  // namespace vel
