// Digests of files we send or receive.
#pragma once
#include <string>

namespace plat {

// The SHA-256 of the bytes as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);
// The same without the processor's SHA instructions (tests compare the two).
std::string Sha256HexPortable(const std::string& bytes);

}  // namespace plat
