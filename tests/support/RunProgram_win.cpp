#include "RunProgram_win.h"

#include <windows.h>

#include <vector>

namespace vel {
namespace testsupport {

long RunProgram(const std::string& program, const std::string& commandLine, const std::string& envName,
                const std::string& envValue, unsigned long timeoutMs) {
    // The child inherits the variable; the test's own environment is restored right after the start.
    std::vector<char> old(32768, '\0');
    const DWORD oldLen = GetEnvironmentVariableA(envName.c_str(), old.data(), static_cast<DWORD>(old.size()));
    SetEnvironmentVariableA(envName.c_str(), envValue.c_str());

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &si, &pi);
    SetEnvironmentVariableA(envName.c_str(), oldLen > 0 && oldLen < old.size() ? old.data() : nullptr);
    if (!started) return -1;

    long result = -1;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) result = static_cast<long>(code);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

std::string ThisProgram() {
    char buf[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof(buf));
    return std::string(buf, n);
}

}  // namespace testsupport
}  // namespace vel
