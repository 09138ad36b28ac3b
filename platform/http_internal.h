// What every HTTP implementation shares: the limits, the checks on header
// lines a caller hands over, the challenge of a 401 and the reading of the
// body line by line. Platform code only.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/http.h"

namespace plat {
namespace http {

// The limits in force (SetHttpLimits changes them).
CHttpLimits& Limits();

std::string Lower(std::string text);
// The lower-case name of a "Name: value" line.
std::string HeaderName(const std::string& line);

// Adds each fit "Name: value" line of a CR LF block whose name is not in
// headers yet. Lines with control characters, a blank inside the name or no
// name are dropped, so nothing a caller hands over can start a header of its
// own; Content-Length is left to the transport, which knows what it sends.
void AddHeaderLines(std::vector<std::string>& headers, const std::string& block);
bool HasHeader(const std::vector<std::string>& headers, const std::string& lowerName);

// The first WWW-Authenticate line of a raw response head, or "".
std::string FindChallenge(const std::string& rawHeaders);
// The realm of a challenge line: WWW-Authenticate: Basic realm="name".
std::string ChallengeRealm(const std::string& challenge);

// One line of body from pos on, as CHttpFile::ReadString gives it. False at
// the end of the body.
bool NextLine(const std::string& body, std::size_t& pos, std::string& line, std::size_t bufferSize);

}  // namespace http
}  // namespace plat
