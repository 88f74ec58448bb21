// Records the message boxes the library shows while an instance lives,
// instead of showing them.
#pragma once

#include "platform/msgbox.h"

#include <string>
#include <vector>

namespace vorntest {

struct MessageBoxShown {
    std::string caption, text;
    unsigned style;
};

class RecordedMessageBoxes {
public:
    RecordedMessageBoxes() {
        shown().clear();
        plat::setMessageBoxHook(record);
    }
    ~RecordedMessageBoxes() { plat::setMessageBoxHook(nullptr); }
    RecordedMessageBoxes(const RecordedMessageBoxes&) = delete;
    RecordedMessageBoxes& operator=(const RecordedMessageBoxes&) = delete;

    const std::vector<MessageBoxShown>& boxes() const { return shown(); }

private:
    static std::vector<MessageBoxShown>& shown() {
        static std::vector<MessageBoxShown> list;
        return list;
    }
    static int record(const char* caption, const char* text, unsigned style) {
        shown().push_back({caption, text, style});
        return 1;
    }
};

}  // namespace vorntest
