#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The program works with Windows paths ("C:\Games\SWGB\data\mods.log") in UTF-8, as the game's
// registry values give them. On Windows they are used as they are, through the wide calls.
// Elsewhere the game lives in a Wine prefix: a drive path maps through <prefix>/dosdevices/<drive>:
// and each component is matched against the real entries without regard to letter case, as Wine
// does. A path that already starts with "/" is a host path; its backslashes count as separators
// too. A trailing separator is kept, so that file names can still be appended to a folder.
std::string HostPath(std::string_view path);

// The inverse for paths the host hands us (a file chosen in the dialog): the drive of the prefix
// that holds it, or Z: (the host's root, as in every Wine prefix).
std::string ProgramPathFromHost(std::string_view host_path);

// The prefix whose drives the game's paths refer to (set when the registry is read there).
// Empty: no prefix; drive paths then resolve only for Z: (the host's root).
void SetWinePrefix(std::string host_prefix);
const std::string& WinePrefix();

#ifdef _WIN32
// The path for the wide calls of Windows.
std::wstring WidePath(std::string_view path);
#endif

}  // namespace tarnwick
