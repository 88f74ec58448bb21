// The message box's replaceable front: tests record boxes instead of
// showing them.
#include "platform/msgbox.h"

#include <atomic>

namespace plat {

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
}

void setMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }

int messageBox(const char* caption, const char* text, unsigned style) {
    if (MessageBoxHook hook = g_hook.load()) return hook(caption, text, style);
    return nativeMessageBox(caption, text, style);
}

}  // namespace plat
