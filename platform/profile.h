// Profile strings, in place of the per-user registry: a key file
// $XDG_CONFIG_HOME/<company>/<application>.ini. Writes are atomic.
#pragma once
#include <string>

namespace plat {

// Names the folder (the company) and the file (the application).
void SetRegistryKey(const std::string& company);
void SetAppName(const std::string& app);

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& def);
bool WriteProfileString(const std::string& section, const std::string& entry,
                        const std::string& value);

// The file the profile lives in (for tests and the README).
std::string ProfilePath();

// The player's data folder for this program: $XDG_DATA_HOME/<company>/<application>.
std::string UserDataPath();

}  // namespace plat
