#pragma once
// Extraction of a package into a folder: checks each part's checksum, inflates or copies the file
// records, writes the files (appending records of the same name), asks for the next disk when a
// part file is missing, reports progress, finds the launch entry and can write the update agent
// image. Also the choice of the extraction folder. Implemented for Windows (Extract_win.cpp);
// the declarations are free of Windows types. Nothing here throws.
#include <cstdint>
#include <functional>
#include <string>

#include "package/ExtractRules.h"

namespace vel {

// Progress of an extraction: mode 0 sets the range 0..range at position 0, mode 1 steps once.
using ExtractProgress = std::function<void(int mode, int range)>;

struct ExtractRequest {
    std::string packageFile;   // first part: the stub itself, "name.001" or a downloaded file
    std::string destFolder;    // without trailing backslash
    std::string agentName;     // update agent file to write (only its name part counts), or empty
    bool forcePrompt = false;  // ask for every further disk even when its part file is present
    std::string diskPrompt;    // "s8" with "<DISK_NUM>"
    std::string promptCaption;
    std::string buttonList;
    int charset = 0;
    ExtractProgress progress;  // may be empty
};

struct ExtractResult {
    std::string runSpec;          // launch entry "Program.exe*params", empty when none or cancelled
    bool checksumPassed = false;
    // The package could not be read to its end: a record that does not inflate, a truncated or
    // unreadable record, or a record name that would write outside the folder. Nothing may run.
    bool damaged = false;
    std::string damage;           // what was wrong, for the message and the trace
    bool cancelled = false;       // the user cancelled a disk prompt
    // A file could not be written, or the folder could not be used (reported in a box): the
    // extraction ended there and nothing may run.
    bool writeFailed = false;
};

ExtractResult ExtractPackage(const ExtractRequest& request);

// Local DOS date-time of a file's last write (date high, time low); 0 when it cannot be read.
uint32_t FileDosTime(const std::string& path);

// The rules of this run's extraction folder, from whether the process is elevated.
const ExtractFolderRules& RunExtractRules();

// The extraction folder: temp folder + "SETUP_" + the low 16 bits of the program file's DOS time.
// Created on the first call; later calls return the same path, without trailing backslash. When
// another running stub uses that name, or this process cannot create the folder anew under it, the
// process id is appended ("SETUP_n_pid", then "SETUP_n_pid_2" ...). Empty when no folder could be
// created.
// Not elevated: an existing tree of that name is deleted first (a junction or link removed as a
// link). Elevated: only a folder this call creates is taken, with a protected DACL of SYSTEM and
// Administrators, checked and held open until RemoveExtractFolder, so that it cannot be renamed
// away and replaced; a name that exists is passed over.
std::string GetExtractFolder();
// The extraction folder when GetExtractFolder has created it, else empty.
std::string ExtractFolderIfCreated();
// Lets the extraction folder go and deletes its tree; the next GetExtractFolder makes a new one.
// An elevated run's extraction starts no engine while the folder holds anything it did not make.
void RemoveExtractFolder();

// Writes a file of the extraction folder: created new (never a file someone else put there, nor
// through a link under the name), or, when this run created it before, emptied and rewritten.
// dosDate 0 keeps the time of writing. False when it could not be written whole.
bool WriteExtractedFile(const std::string& path, const std::string& bytes, uint32_t dosDate);

// Probes the fixed drives C, D and E for the one with most free space; true when one other than
// the temp drive was chosen as the alternate root (the probe runs once per process). Only for runs
// whose rules allow an alternate folder: the probe makes folders at the drives' roots.
bool FindRoomierTempDrive();
// Alternate root + "_" + a random number, created anew on first call; empty when no root was
// chosen or no folder could be created.
std::string GetAlternateExtractFolder();
void RemoveAlternateExtractFolder();

}  // namespace vel
