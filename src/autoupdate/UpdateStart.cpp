#include "autoupdate/UpdateStart.h"

namespace vel {

UpdateStart ChooseUpdateStart(bool levelKnown, ExecutionLevel level) {
    if (!levelKnown) return UpdateStart::Refused;
    switch (level) {
        case ExecutionLevel::AsInvoker: return UpdateStart::InProcess;
        // highestAvailable may ask too: only Windows knows, so it decides.
        case ExecutionLevel::HighestAvailable:
        case ExecutionLevel::RequireAdministrator: return UpdateStart::OwnProcess;
    }
    return UpdateStart::Refused;
}

const char* UpdateStartName(UpdateStart how) {
    switch (how) {
        case UpdateStart::InProcess: return "in-process";
        case UpdateStart::OwnProcess: return "own process";
        case UpdateStart::Refused: return "refused";
    }
    return "?";
}

std::string UpdateProcessParams(const std::string& extraParams, const std::string& agentPath, bool background) {
    std::string params = extraParams;
    if (!params.empty()) params += ' ';
    params += "/OriginExe=\"" + agentPath + "\" /AutoUpdateProg";
    if (background) params += " /hide";
    return params;
}

}  // namespace vel
