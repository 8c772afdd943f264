#pragma once
// How the agent starts an update file, decided from the execution level the update's manifest
// requests. The agent runs with the user's rights: an update that asks for administrator rights
// is started as a process of its own, so that Windows asks for them; one that does not is run
// inside the agent through the extract-and-launch flow. Portable: no Windows API.
#include <string>

#include "package/ImageManifest.h"

namespace vel {

enum class UpdateStart {
    InProcess,    // extracted and its engine run by the agent itself
    OwnProcess,   // started through the shell, which honours its manifest (and prompts)
    Refused,      // no readable level: its rights would be a guess, so it is not run
};

// levelKnown false: the update file's manifest level could not be read.
UpdateStart ChooseUpdateStart(bool levelKnown, ExecutionLevel level);
const char* UpdateStartName(UpdateStart how);  // "in-process", "own process", "refused"

// The parameters an update started as its own process gets: those the in-process run gives its
// engine (extra parameters, the agent's path as /OriginExe, /AutoUpdateProg) and "/hide" when the
// update runs in the background.
std::string UpdateProcessParams(const std::string& extraParams, const std::string& agentPath, bool background);

}  // namespace vel
