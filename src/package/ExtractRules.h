#pragma once
// The security decisions of extraction, kept portable so that they are tested as tables: where an
// extraction may go for a run with or without administrator rights, and whether a folder an
// elevated run created is one it may put programs in. Nothing here throws.
#include <cstdint>
#include <string>
#include <vector>

namespace vel {

// What a run may do with its extraction folder.
struct ExtractFolderRules {
    // A new folder with an explicit Administrators-and-SYSTEM ACL, checked through a handle held
    // for the whole run. The user's other programs (not elevated) must not write where an elevated
    // run starts programs.
    bool protectedFolder = false;
    // A folder on another drive (X:\TEMP_n, X:\TEMP\TEMP_n) when the temp drive lacks room. A
    // folder at a drive root inherits the root's "Authenticated Users: Modify", and X:\TEMP may
    // belong to another user: never for an elevated run.
    bool alternateAllowed = false;
};

ExtractFolderRules ExtractFolderRulesFor(bool elevated);

// What to do when the temp drive lacks room (or its folder is missing).
enum class LowRoomStep {
    ExtractHere,     // the temp folder (the space question tells the user)
    UseAlternate,    // the roomier drive's folder
    Refuse,          // nothing is extracted: a box (unless quiet) and exit code 1
};

// roomierFound: whether a roomier drive was found; only asked when the rules allow an alternate.
LowRoomStep ChooseLowRoomStep(const ExtractFolderRules& rules, bool tempHasRoom, bool roomierFound);

// Well-known SIDs, as text.
constexpr char kSidSystem[] = "S-1-5-18";
constexpr char kSidAdministrators[] = "S-1-5-32-544";

// Values of the Windows ACE fields that the check reads.
constexpr uint8_t kAceAccessAllowed = 0;
constexpr uint8_t kAceObjectInherit = 0x1;
constexpr uint8_t kAceContainerInherit = 0x2;
constexpr uint32_t kFileAllAccess = 0x1F01FF;

struct AceFacts {
    uint8_t type = 0;
    uint8_t flags = 0;
    uint32_t mask = 0;
    std::string sid;
};

// What a folder handle tells about the folder.
struct FolderFacts {
    bool isDirectory = false;
    bool isReparsePoint = false;  // a junction or link stands under the name
    std::string ownerSid;
    bool daclPresent = false;
    bool daclProtected = false;   // inherits nothing from its parent
    std::vector<AceFacts> aces;
};

// True for a plain folder owned by Administrators or SYSTEM whose protected DACL gives exactly
// SYSTEM and Administrators full control, inherited by files and folders, and nothing else.
// Otherwise the reason, in `why`. securityKept false: the platform keeps no security descriptors
// for files (Wine makes them up from Unix modes), so only a plain folder can be asked for.
bool IsProtectedExtractFolder(const FolderFacts& folder, bool securityKept, std::string& why);

}  // namespace vel
