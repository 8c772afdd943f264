// urlrecord: a stand-in web browser for the tests. Started by the shell for an address, it
// appends the address as one line to a record file and ends, so a test can see what was opened.
//
//   urlrecord [--out FILE] ADDRESS
//
// The record file is FILE, else the one named by the environment variable VEL_URLRECORD_FILE.
// Exit code 0 when the line was written; 2 for a wrong command line; 3 when the file could not
// be written.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char kUsage[] =
    "usage: urlrecord [--out FILE] ADDRESS\n"
    "Appends ADDRESS as one line to FILE (default: the file named by VEL_URLRECORD_FILE).\n"
    "Exit code 0 when written, 2 for a wrong command line, 3 when the file could not be written.\n";

// The command line's arguments, split as the C runtime would for a simple line: blanks separate,
// double quotes group (an address carries no quotes).
std::string NextArg(const char*& p) {
    while (*p == ' ' || *p == '\t') ++p;
    std::string arg;
    bool quoted = false;
    for (; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (*p == ' ' || *p == '\t')) break;
        arg += *p;
    }
    return arg;
}

std::string EnvValue(const char* name) {
    char buf[MAX_PATH * 2] = {};
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Appends one line; the file is shared so that several starts may write one after another.
bool AppendLine(const std::string& file, const std::string& line) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
            Sleep(20);  // another start is writing
            continue;
        }
        const std::string data = line + "\r\n";
        DWORD written = 0;
        const BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(h);
        return ok && written == data.size();
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* p = GetCommandLineA();
    NextArg(p);  // the program itself
    std::string out = EnvValue("VEL_URLRECORD_FILE");
    std::string address;
    bool haveAddress = false;
    for (std::string arg = NextArg(p); !arg.empty() || *p; arg = NextArg(p)) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--out") {
            out = NextArg(p);
        } else if (!haveAddress) {
            address = arg;
            haveAddress = true;
        } else {
            return 2;
        }
    }
    if (out.empty() || !haveAddress) return 2;
    return AppendLine(out, address) ? 0 : 3;
}
