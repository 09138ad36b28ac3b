// Asset paths keep the form base + "\image\UFO.kpg"; these functions turn
// them into file-system paths where they touch the disk.
#pragma once
#include <string>

namespace plat {

// Every backslash becomes '/', which every system takes as a separator.
std::string ToFsPath(const std::string& path);

// The process's current directory, without a trailing separator.
std::string GetCurrentDirectory();

bool FileExists(const std::string& path);

// Reads a whole file; false when it can't be opened or read.
bool ReadFile(const std::string& path, std::string& out);

}  // namespace plat
