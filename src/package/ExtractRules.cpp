#include "package/ExtractRules.h"

#include "util/StrUtils.h"

namespace vel {

ExtractFolderRules ExtractFolderRulesFor(bool elevated) {
    ExtractFolderRules rules;
    rules.protectedFolder = elevated;
    rules.alternateAllowed = !elevated;
    return rules;
}

LowRoomStep ChooseLowRoomStep(const ExtractFolderRules& rules, bool tempHasRoom, bool roomierFound) {
    if (tempHasRoom) return LowRoomStep::ExtractHere;
    if (!rules.alternateAllowed) return LowRoomStep::Refuse;
    return roomierFound ? LowRoomStep::UseAlternate : LowRoomStep::ExtractHere;
}

bool IsProtectedExtractFolder(const FolderFacts& f, bool securityKept, std::string& why) {
    why.clear();
    if (!f.isDirectory) why = "not a folder";
    else if (f.isReparsePoint) why = "a link or junction";
    else if (!securityKept) return true;
    else if (f.ownerSid != kSidAdministrators && f.ownerSid != kSidSystem) why = "owned by " + f.ownerSid;
    else if (!f.daclPresent || !f.daclProtected) why = "its access list is not protected";
    else if (f.aces.size() != 2) why = "its access list has " + IntToStr(static_cast<int64_t>(f.aces.size())) + " entries";
    if (!why.empty()) return false;
    bool system = false, admins = false;
    for (const AceFacts& ace : f.aces) {
        const bool full = ace.type == kAceAccessAllowed && ace.mask == kFileAllAccess &&
                          ace.flags == (kAceObjectInherit | kAceContainerInherit);
        if (!full) {
            why = "an entry for " + ace.sid + " is not inheritable full control";
            return false;
        }
        system |= ace.sid == kSidSystem;
        admins |= ace.sid == kSidAdministrators;
    }
    if (!system || !admins) why = "its access list is not SYSTEM and Administrators";
    return why.empty();
}

}  // namespace vel
