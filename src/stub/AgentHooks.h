#pragma once
// What the stub's entry and flows ask of the auto-update subsystem, by these signatures only: the
// stub includes nothing of that subsystem; the program entry hands StubMain a filled table. A
// null member is a service the program was built without, and the stub then does nothing for it.
#include <string>

#include "stub/StubWindow.h"

namespace vel {

struct AgentHooks {
    // The agent copy's start, before its window: the test-mode check with force on.
    void (*checkTestMode)() = nullptr;
    // The agent copy's window: its ticks, shut-down requests and control requests.
    StubWindowRole agentWindow;
    // "/TRANSIENTx=" forwarded by the plain update agent: the transient overrides list.
    void (*setTransientOverrides)(const std::string& list) = nullptr;
    // Around every setup engine run: just before the engine starts (the installation's files are
    // read while the engine cannot have changed them yet), and after it ended, with whether it
    // deleted the engine token atom (the setup was done).
    void (*engineStarting)() = nullptr;
    void (*engineEnded)(bool tokenDeleted) = nullptr;
};

}  // namespace vel
