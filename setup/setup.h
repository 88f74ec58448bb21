// Data-source setup: the keywords a data source of this driver carries, the
// per-call context of ConfigDSN and of SQLDriverConnect's prompt, the parser
// of attribute lists and connection strings, storing a data source through
// the installer library, and the behaviour of the data-source dialog.
#pragma once

#include "platform/dialog.h"
#include "setup/resource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The keywords, in slot order.
enum SetupSlot : int {
    SLOT_DSN = 0,
    SLOT_DESCRIPTION = 1,
    SLOT_SERVER = 2,
    SLOT_SERVICE = 3,
    SLOT_UID = 4,
    SLOT_PWD = 5,
    SLOT_LOGLEVEL = 6,
    SLOT_LOGFILE = 7,
    SLOT_BLOCKSIZE = 8,      // no dialog field; the setup never writes it
    SLOT_MAXANSWERSIZE = 9,  // likewise
    SETUP_SLOT_COUNT = 10
};

struct DsnAttributeKeyword {
    const char* keyword;  // compared without regard to case
    int dialogField;      // control id in dialog 102
    const char* key;      // the data source's key holding the value; null for the name itself
    bool written;         // the setup writes the key (never the password)
};
extern const DsnAttributeKeyword DSN_ATTRIBUTE_KEYWORDS[SETUP_SLOT_COUNT];

// Keywords of 16 characters or more are never ours.
constexpr std::size_t kMaxKeywordLength = 15;
constexpr std::size_t kSlotValueSize = 256;  // 255 characters and NUL
// Longest data-source name the installers accept (SQL_MAX_DSN_LENGTH).
constexpr std::size_t kMaxDsnNameLength = 32;

struct SetupAttribute {
    std::int32_t present;
    char value[kSlotValueSize];
};

struct SetupContext {
    const char* driver;  // driver description given to ConfigDSN
    SetupAttribute attributes[SETUP_SLOT_COUNT];
    // The name the attribute list carried, to detect a rename; empty when
    // none. Sized for every name the installer accepts as valid.
    char initialName[kMaxDsnNameLength + 1];
    std::int32_t adding;
};


// Slot of a keyword (case ignored), or -1 for one that is not ours or has
// more than 15 characters. The keyword is the first `length` characters.
int findSetupSlot(const char* keyword, std::size_t length);

// Sets a slot present and copies the value, cut to 255 characters.
void setSetupSlot(SetupContext& ctx, int slot, const char* value, std::size_t length);

// An installer attribute list: pairs keyword=value, each ended by NUL or ';',
// the list ended by an empty pair. A pair without '=' ends the parse.
void parseAttributeList(SetupContext& ctx, const char* list);

// A connection string: pairs keyword=value separated by ';', ended by the
// NUL of the string. A value in braces may hold ';' ("}}" stands for '}').
// A pair without '=' ends the parse. length < 0: up to the NUL; otherwise at
// most length characters.
void parseConnectionString(SetupContext& ctx, const char* text, long length);

// The pairs of a connection string (the syntax above), in order: the keyword
// as written, and the value without its braces ("}}" read as '}'), or as
// written after the '=' when it has none (`braced` false).
using ConnectionPairTaker = std::function<void(const char* keyword, std::size_t keywordLength,
                                               const std::string& value, bool braced)>;
void forEachConnectionPair(const char* text, long length, const ConnectionPairTaker& take);

// Fills each keyed slot that is not present from the data source (section =
// DSN slot) with the setup's defaults: "" and "0" for LogLevel.
void readMissingKeys(SetupContext& ctx);

// Why `name` cannot name a data source ("" when it can): empty, or refused by
// the installer's rule.
std::string dataSourceNameProblem(const char* name);

// Writes the data source of the DSN slot. With controls (the dialog), every
// written key is written, and a refused name or entry is reported in a
// message box; without, only the keys present, and a refused name becomes an
// installer error. Nothing is written for a refused name. Removes the
// initial name after a rename.
bool storeDataSource(SetupContext& ctx, plat::DialogControls* controls);

// The dialog's captions.
extern const char* const kSetupCaption;  // "Kalmo VORNsql driver - Data source setup"
std::string connectCaption(const char* dsn);  // "Kalmo VORNsql driver - Connect to <dsn>"

// What the dialog does, apart from its window.
class DsnDialog : public plat::DialogBehaviour {
public:
    enum class Mode {
        Setup,    // ConfigDSN: OK stores the data source
        Connect,  // SQLDriverConnect's prompt: OK only copies the fields
    };
    DsnDialog(SetupContext& ctx, Mode mode) : ctx_(ctx), mode_(mode) {}
    void onInit(plat::DialogControls& controls) override;
    bool onOk(plat::DialogControls& controls) override;

private:
    SetupContext& ctx_;
    Mode mode_;
};
