// The message box. Not built yet: it is only asked for once the toolkit is
// ready, which it never is so far.
#include "platform/native.h"

namespace plat {
namespace native {

void ShowMessageBox(const std::string& /*text*/, const std::string& /*caption*/) {}

int AskQuestion(const std::string& /*text*/, const std::string& /*caption*/,
                const std::vector<std::string>& /*arrAnswers*/, int /*nDefault*/) {
    return -1;
}

}  // namespace native
}  // namespace plat
