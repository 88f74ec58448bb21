// A driver on Linux has no window system of its own: the handle that an
// application passes as a parent window means nothing here, so no dialog is
// ever shown and callers fall back to their windowless path.
#include "platform/dialog.h"

namespace plat {

DialogResult nativeModalDialog(void*, int, DialogBehaviour&) { return DialogResult::Unavailable; }

}  // namespace plat
