#include "UrlHandler_win.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "TraceCapture_win.h"
#include "util/WinHandles.h"

namespace vel {
namespace testsupport {

namespace {

const char* const kSchemes[] = {"http", "https"};

std::string ClassesKey(const std::string& scheme) { return "Software\\Classes\\" + scheme; }
std::string CommandKey(const std::string& scheme) { return ClassesKey(scheme) + "\\shell\\open\\command"; }

bool KeyExists(HKEY root, const std::string& path) {
    ScopedKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The default value of a key; false when the key or the value is missing.
bool ReadDefault(HKEY root, const std::string& path, std::string& value) {
    ScopedKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    char buf[2048] = {};
    DWORD size = sizeof buf - 1, type = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        return false;
    value.assign(buf, size > 0 && buf[size - 1] == '\0' ? size - 1 : size);
    return true;
}

bool WriteValue(HKEY root, const std::string& path, const char* name, const std::string& value) {
    ScopedKey key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

void DeleteDefault(HKEY root, const std::string& path) {
    ScopedKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_WRITE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), nullptr);
}

std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

}  // namespace

UrlHandler::UrlHandler(const std::string& recorder, const std::string& recordFile) : recordFile_(recordFile) {
    Forget();
    const std::string command = "\"" + recorder + "\" --out \"" + recordFile + "\" \"%1\"";
    registered_ = GetFileAttributesA(recorder.c_str()) != INVALID_FILE_ATTRIBUTES;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const char* scheme : kSchemes) {
            Saved s;
            s.root = root;
            s.scheme = scheme;
            s.existed = KeyExists(root, ClassesKey(scheme));
            s.commandExisted = s.existed && ReadDefault(root, CommandKey(scheme), s.command);
            saved_.push_back(s);
            // A URL scheme for the shell: "URL Protocol" marks it, the open command handles it.
            registered_ = WriteValue(root, ClassesKey(scheme), "URL Protocol", "") && registered_;
            registered_ = WriteValue(root, CommandKey(scheme), nullptr, command) && registered_;
        }
    }
}

UrlHandler::~UrlHandler() {
    for (const Saved& s : saved_) {
        const HKEY root = static_cast<HKEY>(s.root);
        if (!s.existed) {
            RegDeleteTreeA(root, ClassesKey(s.scheme).c_str());
        } else if (s.commandExisted) {
            WriteValue(root, CommandKey(s.scheme), nullptr, s.command);
        } else {
            DeleteDefault(root, CommandKey(s.scheme));
        }
    }
}

std::vector<std::string> UrlHandler::Opened(size_t atLeast, unsigned long timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::string> lines = Lines(ReadAll(recordFile_));
        if (lines.size() >= atLeast || GetTickCount() - start >= timeoutMs) return lines;
        Sleep(50);
    }
}

void UrlHandler::Forget() const { DeleteFileA(recordFile_.c_str()); }

std::string UrlRecorderPath() { return BuildTreePath("tools/urlrecord/urlrecord.exe"); }

}  // namespace testsupport
}  // namespace vel
