#pragma once
// The execution level that an executable image's application manifest requests, read from and
// written into the image held in memory. Windows reads this level before the process starts (and
// asks for administrator rights when it says so), so it is the one place where an image's rights
// are decided. Portable: no Windows API. Images may come from strangers: every offset is checked,
// and anything unclear (no manifest, no level, two of them, an unknown value) is refused with
// false, never guessed.
#include <cstddef>
#include <string>

namespace vel {

enum class ExecutionLevel { AsInvoker, HighestAvailable, RequireAdministrator };

// "asInvoker", "highestAvailable", "requireAdministrator": the manifest's own values.
const char* ExecutionLevelName(ExecutionLevel level);
// Exact manifest value to level; false for anything else.
bool ExecutionLevelFromName(const std::string& name, ExecutionLevel& level);

// The manifest resource of a PE image (32- or 64-bit): resource type 24, name 1, its only
// language. False when there is none or the headers or resource directory are damaged.
bool FindImageManifest(const std::string& image, size_t& offset, size_t& size);

// The level attribute of the one requestedExecutionLevel element of a manifest text.
bool ReadManifestLevel(const std::string& manifest, ExecutionLevel& level);
// Rewrites that attribute in place without changing the text's size: the attribute is written
// anew and padded with blanks inside the tag. False (text unchanged) when it cannot be read or
// the new value does not fit.
bool WriteManifestLevel(std::string& manifest, ExecutionLevel level);

// The two above on the manifest of a PE image.
bool ReadImageExecutionLevel(const std::string& image, ExecutionLevel& level);
bool SetImageExecutionLevel(std::string& image, ExecutionLevel level);

// Every update agent image runs with the rights of whoever starts it: it is started at logon and
// starts the product, so it must never hold administrator rights. False when the image's level
// cannot be set (then no agent image is to be written).
bool SetAgentExecutionLevel(std::string& image);

}  // namespace vel
