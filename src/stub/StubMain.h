#pragma once
// The stub main routine and its role dispatch.

namespace vel {

struct AgentHooks;

// Runs the whole program: start lines, own package, role dispatch, end lines. agent: what the
// auto-update subsystem does for the agent roles and around engine runs.
void StubMain(const AgentHooks& agent);
// Picks the role of this run from the own file name, package flags and command line, and runs it.
void DoRunStubWin();
// Plain update agent: copies itself to "X_" + its name and starts the copy hidden. Returns its argument.
int CreateAndRun_X_Exe(int unused);
// Plain update agent: forwards "/STOP=", "/WM_MSG=" and "/TEST=" to the running agent copy.
bool HandleParamOK(bool copyWasRunning);
// Copies the stub to "Y_" + its name in the extraction folder and starts it on the part files.
void StartSpanCopy();

}  // namespace vel
