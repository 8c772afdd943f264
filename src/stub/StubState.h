#pragma once
// Process-wide state of one stub run, owned by the stub main routine: the own package reader,
// the role facts derived from it, the window class name and the program's exit code.
#include <string>

namespace vel {

class TGFileInfo;
struct AgentHooks;

// The package of the running program (opened at start, freed at the end). Valid during DoRunStubWin.
TGFileInfo& OwnPackage();
// Takes the file at path as the run's own: its path and its package reader. The stub main routine
// opens the program's own file; an in-process test a package of its choosing.
void OpenOwnPackage(const std::string& path);
// Trailer byte 69 of the own package: this file is an update agent.
bool ThisIsAutoUpdateProg();
// Window class under which the stub window registers and by which a running instance is found.
const std::string& StubWindowClassName();
// Full path of the running program.
const std::string& OwnPath();
// The auto-update subsystem's hooks the program entry handed to StubMain (empty before).
const AgentHooks& UpdateAgentHooks();
// Exit code of the process: 0 unless the setup engine ran; then the engine's exit code.
void SetStubExitCode(int code);
int StubExitCode();

}  // namespace vel
