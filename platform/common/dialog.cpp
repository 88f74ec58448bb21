#include "platform/dialog.h"

#include <atomic>

namespace plat {

namespace {
std::atomic<DialogRunner> g_runner{nullptr};
}

void setDialogRunner(DialogRunner runner) { g_runner.store(runner); }

DialogResult runModalDialog(void* parent, int resource, DialogBehaviour& behaviour) {
    DialogRunner runner = g_runner.load();
    return runner ? runner(parent, resource, behaviour) : nativeModalDialog(parent, resource, behaviour);
}

}  // namespace plat
