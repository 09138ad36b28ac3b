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

// Writes the whole file under the hidden name ".NAME.partial" beside it,
// flushed to the disk, and then puts it in place of path in one step. False
// with the system's reason in err (a read-only folder, a full disk): path
// then keeps what it held and no partial file is left.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& err);

// The hidden name WriteFileAtomically writes under first.
std::string PartialFileName(const std::string& path);

// The program's arguments in UTF-8, as every other text: on Windows the C
// runtime hands them over in the system's code page, so argc and argv are
// replaced by the wide command line's (kept for the life of the process);
// elsewhere they stay as they are.
void UseUtf8Arguments(int& argc, char**& argv);

}  // namespace plat
