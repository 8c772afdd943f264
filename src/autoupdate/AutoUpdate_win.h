#pragma once
// Windows-only. What the auto-update subsystem lends the stub's entry: the agent copy's window
// handlers, its start, the transient overrides and the hooks around engine runs.
#include "stub/AgentHooks.h"

namespace vel {

AgentHooks AutoUpdateHooks();

}  // namespace vel
