// Whether the tests run under CI, where a test that cannot run must fail
// rather than skip: CI set to anything but "", "0", "false", "no" or "off".
#pragma once
#include <cctype>
#include <cstdlib>
#include <string>

inline bool UnderCi() {
    const char* value = std::getenv("CI");
    if (value == nullptr)
        return false;
    std::string str(value);
    for (char& c : str)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return !(str.empty() || str == "0" || str == "false" || str == "no" || str == "off");
}
