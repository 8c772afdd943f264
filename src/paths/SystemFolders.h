#pragma once
// Windows-only. The folders of the running system that the directory macros stand for. Every
// getter takes withBackslash and returns the folder normalised (a trailing backslash removed,
// then one appended when asked). The shell is asked first; where it gives no existing folder the
// path is built in the layout of older Windows versions. No getter fails: the last step of a
// chain always yields a path, possibly one that does not exist. Nothing is cached.
#include <string>

#include "paths/FolderChains.h"

namespace vel {

// The shell's folder functions, bound at run time from the system folder. Empty on failure
// (library or function missing, or the call failing).
std::string ShellFolderPath(int csidl);         // SHGetFolderPathA, create flag added
std::string ShellSpecialFolderPath(int csidl);  // SHGetSpecialFolderPathA, no create

// One folder of the running system by its chain, e.g. SystemFolder(&FolderChains::UserDir, false).
using FolderGetter = std::string (FolderChains::*)(bool withBackslash);
std::string SystemFolder(FolderGetter getter, bool withBackslash);

// A registry value of the current user's shell-folder key or of the Windows version key, read
// in the 64-bit view on a 64-bit system; empty when missing.
std::string ShellFolderRegValue(const std::string& name);
std::string WindowsVersionRegValue(const std::string& name);

}  // namespace vel
