#include "platform/shell.h"

#include "platform/native.h"

namespace plat {
namespace {

OpenUriHandler& UriHandler() {
    static OpenUriHandler handler;
    return handler;
}

SpawnHandler& ProgramHandler() {
    static SpawnHandler handler;
    return handler;
}

}  // namespace

bool OpenUri(const std::string& uri) {
    return UriHandler() ? UriHandler()(uri) : native::OpenUri(uri);
}

bool SpawnProgram(const std::string& program, const std::vector<std::string>& args) {
    return ProgramHandler() ? ProgramHandler()(program, args) : native::SpawnProgram(program, args);
}

void SetOpenUriHandler(OpenUriHandler handler) {
    UriHandler() = std::move(handler);
}

void SetSpawnHandler(SpawnHandler handler) {
    ProgramHandler() = std::move(handler);
}

}  // namespace plat
