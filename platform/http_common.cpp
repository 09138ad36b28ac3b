#include <algorithm>
#include <cctype>

#include "platform/http_internal.h"

namespace plat {

std::string CInternetException::GetErrorMessage(std::size_t bufferSize) const {
    std::string message = what();
    if (bufferSize == 0) {
        return std::string();
    }
    if (message.size() > bufferSize - 1) {
        message.resize(bufferSize - 1);
    }
    return message;
}

CHttpLimits GetHttpLimits() {
    return http::Limits();
}
void SetHttpLimits(const CHttpLimits& limits) {
    http::Limits() = limits;
}

namespace http {
namespace {

bool CleanHeaderLine(std::string& line) {
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    line.erase(0, line.find_first_not_of(" \t"));
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const bool control = (c < 0x20 && c != '\t') || c == 0x7f;
        if (control || (i < colon && (c == ' ' || c == '\t'))) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

}  // namespace

CHttpLimits& Limits() {
    static CHttpLimits limits;
    return limits;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string HeaderName(const std::string& line) {
    return Lower(line.substr(0, line.find(':')));
}

bool HasHeader(const std::vector<std::string>& headers, const std::string& lowerName) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const std::string& h) { return HeaderName(h) == lowerName; });
}

void AddHeaderLines(std::vector<std::string>& headers, const std::string& block) {
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find('\n', start);
        if (end == std::string::npos) {
            end = block.size();
        }
        std::string line = block.substr(start, end - start);
        start = end + 1;
        if (!CleanHeaderLine(line)) {
            continue;
        }
        const std::string name = HeaderName(line);
        if (name != "content-length" && !HasHeader(headers, name)) {
            headers.push_back(line);
        }
    }
}

std::string FindChallenge(const std::string& raw) {
    for (std::size_t start = 0; start < raw.size();) {
        const std::size_t end = std::min(raw.find("\r\n", start), raw.size());
        const std::string line = raw.substr(start, end - start);
        if (StartsWithNoCase(line, "WWW-Authenticate:")) {
            return line;
        }
        start = end + 2;
    }
    return std::string();
}

std::string ChallengeRealm(const std::string& line) {
    const std::size_t at = Lower(line).find("realm=\"");
    if (at == std::string::npos) {
        return std::string();
    }
    const std::size_t start = at + 7;
    const std::size_t end = line.find('"', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool NextLine(const std::string& body, std::size_t& pos, std::string& line,
              std::size_t bufferSize) {
    line.clear();
    const std::size_t most = std::max<std::size_t>(bufferSize, 2) - 1;
    while (pos < body.size() && line.size() < most) {
        const char c = body[pos++];
        if (c == '\r') {
            continue;
        }
        line.push_back(c);
        if (c == '\n') {
            break;
        }
    }
    return !line.empty();
}

}  // namespace http
}  // namespace plat
