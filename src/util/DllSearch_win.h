#pragma once
// Windows-only. Start-up hardening against DLLs planted beside the program (a setup program runs
// from a downloads folder, where anyone can drop one).

namespace vel {

// Restricts the DLL search of the whole process to the system folder: call it first thing, before
// anything loads a library. Uses SetDefaultDllDirectories where the system has it, else removes
// the current folder from the search (SetDllDirectory("")). True when one of them took effect.
bool HardenDllSearch();

}  // namespace vel
