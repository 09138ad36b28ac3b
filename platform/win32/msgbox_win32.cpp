// The message box. Not built yet: it is only asked for once the toolkit is
// ready, which it never is so far.
#include "platform/native.h"

namespace plat {
namespace native {

void ShowMessageBox(const std::string& /*text*/, const std::string& /*caption*/) {}

}  // namespace native
}  // namespace plat
