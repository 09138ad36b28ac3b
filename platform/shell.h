// Hands things to the desktop: a web address to the default browser, a
// program started as its own process.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace plat {

// Opens uri with the desktop's default handler. False when it could not.
bool OpenUri(const std::string& uri);

// Starts program with args (argv[1...]) and does not wait. False when it
// could not be started.
bool SpawnProgram(const std::string& program, const std::vector<std::string>& args);

// Tests see the requests here instead; empty functions restore the desktop.
using OpenUriHandler = std::function<bool(const std::string& uri)>;
using SpawnHandler =
    std::function<bool(const std::string& program, const std::vector<std::string>& args)>;
void SetOpenUriHandler(OpenUriHandler handler);
void SetSpawnHandler(SpawnHandler handler);

}  // namespace plat
