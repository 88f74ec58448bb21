// ConfigDSN and its parsers, against unixODBC's real installer library in a
// private configuration, with a scripted stand-in for the dialog window.
#include "platform/installer.h"
#include "setup/setup.h"
#include "support/attribute_list.h"
#include "support/odbc_sandbox.h"
#include "support/scripted_dialog.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

using vorntest::DialogStep;
using vorntest::OdbcSandbox;
using vorntest::ScriptedDialog;

namespace {

const char* const kDriver = "Kalmo VORNsql driver";
HWND const kWindow = reinterpret_cast<HWND>(0x1234);

std::string attrs(std::initializer_list<std::string> pairs) { return vorntest::attributeList(pairs); }

BOOL config(WORD request, const std::string& list, HWND window = nullptr) {
    return ConfigDSN(window, request, kDriver, list.data());
}

// The slots an attribute list fills, as "Keyword=value;" in slot order.
std::string parsed(const char* list) {
    SetupContext ctx{};
    parseAttributeList(ctx, list);
    std::string out;
    for (int i = 0; i < SETUP_SLOT_COUNT; ++i)
        if (ctx.attributes[i].present)
            out += std::string(DSN_ATTRIBUTE_KEYWORDS[i].keyword) + "=" + ctx.attributes[i].value + ";";
    return out;
}
std::string parsed(const std::string& list) { return parsed(list.data()); }

// A data source's keys, "|"-joined ("<none>" for an absent one).
std::string keys(const OdbcSandbox& odbc, const std::string& dsn, std::initializer_list<const char*> names) {
    std::string out;
    for (const char* name : names) out += (out.empty() ? "" : "|") + odbc.key(dsn.c_str(), name);
    return out;
}

// The newest of the installer's errors: "code text".
std::string lastInstallerError() {
    std::string last;
    for (unsigned short i = 1; i <= 8; ++i) {
        std::uint32_t code = 0;
        char msg[256] = "";
        unsigned short len = 0;
        if (!SQL_SUCCEEDED(plat::inst::installerError(i, &code, msg, sizeof msg, &len))) break;
        last = std::to_string(code) + " " + msg;
    }
    return last;
}

}  // namespace

TEST(SetupParse, AttributeListForms) {
    // NUL- and ';'-ended pairs mean the same; keyword case does not matter.
    EXPECT_EQ("DSN=x;Server=host;Service=5000;", parsed(attrs({"DSN=x", "server=host", "SERVICE=5000"})));
    EXPECT_EQ("DSN=x;Server=host;Service=5000;", parsed(std::string("DSN=x;server=host;SERVICE=5000;\0", 32)));

    // Unknown keywords and keywords of 16 characters or more are skipped;
    // "LogLevelLogLevel" would otherwise be mistaken for nothing at all.
    EXPECT_EQ("LogLevel=3;", parsed(attrs({"Colour=red", "ServerServerServ=1", "LogLevel=3", "=5"})));

    // A pair without '=' ends the list; an empty value is still a value;
    // values are cut to 255 characters, never beyond the slot.
    EXPECT_EQ("Description=" + std::string(255, 'v') + ";Server=;",
              parsed(attrs({"Description=" + std::string(400, 'v'), "Server=", "garbage", "Service=1"})));
    EXPECT_EQ("", parsed(nullptr));
}

TEST(ConfigDsn, WindowlessAddConfigureRemove) {
    OdbcSandbox odbc;
    // Add with DSN, Server and credentials: the entry, its Server key and
    // the user name, never the password.
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=alpha", "Server=db1", "UID=nobody", "PWD=secret"})));
    EXPECT_EQ("db1|nobody|<none>|<none>|<none>|<none>|<none>",
              keys(odbc, "alpha", {"Server", "User", "Description", "Service", "UID", "PWD", "Password"}));

    // Configure writes what it is given and keeps the other keys; request
    // codes other than add, configure and remove act as configure.
    ASSERT_TRUE(config(ODBC_CONFIG_DSN, attrs({"DSN=alpha", "Service=7000"})));
    ASSERT_TRUE(config(42, attrs({"DSN=alpha", "Description=third"})));
    EXPECT_EQ("db1|7000|third", keys(odbc, "alpha", {"Server", "Service", "Description"}));

    // No DSN: nothing to store or remove, and the installer says why.
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({"Server=db2"})));
    EXPECT_NE("", lastInstallerError());
    EXPECT_FALSE(ConfigDSN(nullptr, ODBC_ADD_DSN, kDriver, nullptr));

    ASSERT_TRUE(config(ODBC_REMOVE_DSN, attrs({"DSN=ALPHA"})));
    EXPECT_FALSE(odbc.hasDsn("alpha"));
}

TEST(ConfigDsn, InvalidNamesAreRefusedForEveryRequest) {
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=keep", "Server=s"})));
    std::string before = odbc.read(odbc.userIni());

    // The installer's limit is 32 characters; brackets are never valid.
    std::string name32 = "DSN=" + std::string(32, 'n');
    for (WORD request : {ODBC_ADD_DSN, ODBC_CONFIG_DSN, ODBC_REMOVE_DSN}) {
        for (std::size_t length : {33, 64, 300}) {
            std::string bad = "DSN=" + std::string(length, 'n');
            EXPECT_FALSE(config(request, attrs({bad.c_str(), "Server=s"})));
            EXPECT_FALSE(config(request, attrs({bad.c_str(), "Server=s"}), kWindow));
        }
        EXPECT_FALSE(config(request, attrs({"DSN=[keep]"})));
        EXPECT_NE(std::string::npos, lastInstallerError().find("\"[keep]\" cannot name a data source"));
        EXPECT_FALSE(config(request, attrs({"DSN="})));
        EXPECT_FALSE(config(request, attrs({"DSN="}), kWindow));
        EXPECT_EQ("9 Enter a name for the data source.", lastInstallerError());
    }
    EXPECT_EQ(before, odbc.read(odbc.userIni()));

    // The longest valid name works, and a configure of it is not a rename.
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({name32.c_str(), "Server=s"})));
    ASSERT_TRUE(config(ODBC_CONFIG_DSN, attrs({name32.c_str(), "Service=9"})));
    EXPECT_EQ("s|9", keys(odbc, name32.substr(4), {"Server", "Service"}));
}

TEST(ConfigDsn, DialogShowsStoredKeys) {
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=x", "Description=desc", "Server=srv", "Service=svc",
                                            "LogLevel=3", "LogFile=/tmp/x.log", "UID=u1", "PWD=p1"})));
    for (WORD request : {ODBC_CONFIG_DSN, ODBC_ADD_DSN}) {
        ScriptedDialog dialog({DialogStep{{}, false}});
        EXPECT_FALSE(config(request, attrs({"DSN=x"}), kWindow));  // Cancel
        ASSERT_EQ(1, dialog.shown);
        EXPECT_EQ(IDD_DSN_SETUP, dialog.resource);
        EXPECT_EQ(reinterpret_cast<void*>(kWindow), dialog.parent);
        auto& shown = dialog.afterInit;
        // The stored user name; no password field in the setup.
        const std::map<int, std::string> expected = {{IDC_DSN_NAME, "x"}, {IDC_DESCRIPTION, "desc"},
                                                     {IDC_SERVER, "srv"}, {IDC_SERVICE, "svc"},
                                                     {IDC_USER, "u1"},     {IDC_LOGLEVEL, "3"},
                                                     {IDC_LOGFILE, "/tmp/x.log"}};
        EXPECT_EQ(expected, shown.text);
        EXPECT_TRUE(shown.hidden[IDC_PASSWORD] && shown.hidden[IDC_PASSWORD_LABEL]);
        EXPECT_EQ("Kalmo VORNsql driver - Data source setup", shown.caption);
        EXPECT_EQ((std::vector<std::string>{"0", "1", "2", "3", "4", "5"}), shown.items[IDC_LOGLEVEL]);
        // Adding with a given name fixes the name; configuring does not.
        EXPECT_EQ(request == ODBC_ADD_DSN, shown.disabled[IDC_DSN_NAME]);
    }

    // What the attribute list gives wins over the stored key; an unknown
    // data source shows the defaults.
    ScriptedDialog dialog({DialogStep{{}, false}, DialogStep{{}, false}});
    config(ODBC_CONFIG_DSN, attrs({"DSN=x", "Server=other"}), kWindow);
    EXPECT_EQ("other desc", dialog.afterInit.text[IDC_SERVER] + " " + dialog.afterInit.text[IDC_DESCRIPTION]);
    config(ODBC_ADD_DSN, attrs({"DSN=fresh"}), kWindow);
    EXPECT_EQ(" 0", dialog.afterInit.text[IDC_SERVER] + " " + dialog.afterInit.text[IDC_LOGLEVEL]);
    EXPECT_FALSE(odbc.hasDsn("fresh"));  // cancelled: nothing stored
}

TEST(ConfigDsn, DialogOkStoresAllKeysAndRenames) {
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=x", "Description=desc", "Server=srv", "LogLevel=2"})));

    // OK writes all six keys, empty ones included, the user name among
    // them; the password field is not there to type into.
    int typedIntoHidden = 0;
    auto okWith = [&](std::map<int, std::string> typed) {
        ScriptedDialog dialog({DialogStep{std::move(typed)}});
        const BOOL ok = config(ODBC_CONFIG_DSN, attrs({"DSN=x"}), kWindow);
        typedIntoHidden = dialog.typedIntoDisabled;
        return ok;
    };
    ASSERT_TRUE(okWith({{IDC_SERVICE, "5555"}, {IDC_DESCRIPTION, ""}, {IDC_USER, "u"}, {IDC_PASSWORD, "p"}}));
    EXPECT_EQ(1, typedIntoHidden);
    EXPECT_EQ("5555|||u|<none>|<none>|<none>",
              keys(odbc, "x", {"Service", "Description", "LogFile", "User", "UID", "PWD", "Password"}));
    // Only the case changes: the data source is not removed.
    ASSERT_TRUE(okWith({{IDC_DSN_NAME, "X"}}));
    EXPECT_EQ("srv", odbc.key("x", "Server"));
    // A new name: stored under it with all keys, the old one removed.
    ASSERT_TRUE(okWith({{IDC_DSN_NAME, "y"}, {IDC_LOGLEVEL, "5"}}));
    EXPECT_FALSE(odbc.hasDsn("x"));
    EXPECT_EQ("srv|5555|5|" + std::string(kDriver), keys(odbc, "y", {"Server", "Service", "LogLevel", "Driver"}));
}

TEST(ConfigDsn, DialogRefusesBadNamesAndShowsTheInstallersReason) {
    OdbcSandbox odbc;
    // An empty or invalid name is refused in the dialog, saying why, before
    // anything is written; the user corrects it and the next OK stores.
    const std::string setup = "Kalmo VORNsql driver - Data source setup: ";
    ScriptedDialog dialog({DialogStep{{{IDC_DSN_NAME, ""}, {IDC_SERVER, "s"}}}, DialogStep{{{IDC_DSN_NAME, "bad[name]"}}},
                           DialogStep{{{IDC_DSN_NAME, "good"}}}});
    const std::string empty = odbc.read(odbc.userIni());
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({}), kWindow));
    EXPECT_EQ(3u, dialog.stepsTaken);
    EXPECT_EQ((std::vector<std::string>{setup + "Enter a name for the data source.",
                                        setup + "\"bad[name]\" cannot name a data source: a name has at most 32 "
                                                "characters and none of []{}(),;?*=!@\\"}),
              dialog.controls.warnings);
    EXPECT_FALSE(dialog.afterInit.disabled[IDC_DSN_NAME]);  // adding without a name: editable
    EXPECT_EQ("s", odbc.key("good", "Server"));

    // Giving up after a refusal stores nothing and returns FALSE.
    std::string before = odbc.read(odbc.userIni());
    ScriptedDialog refused({DialogStep{{{IDC_DSN_NAME, ""}}}, DialogStep{{}, false}});
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({}), kWindow));
    EXPECT_EQ(before, odbc.read(odbc.userIni()));

    // An installer that cannot store: its own reason in the box.
    for (const std::string& file : {odbc.userIni(), odbc.systemIni()}) {
        std::filesystem::remove(file);
        std::filesystem::create_directory(file);
    }
    ScriptedDialog failing({DialogStep{{{IDC_DSN_NAME, "third"}}}, DialogStep{{}, false}});
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({}), kWindow));
    ASSERT_EQ(1u, failing.controls.warnings.size());
    const std::string& box = failing.controls.warnings[0];
    EXPECT_EQ(0u, box.find(setup + "\"third\" was not stored: ")) << box;
    EXPECT_GT(box.size(), (setup + "\"third\" was not stored: ").size()) << box;
    for (const std::string& file : {odbc.userIni(), odbc.systemIni()}) std::filesystem::remove(file);
}

TEST(ConfigDsn, WindowWithoutWindowSystemIsWindowless) {
    // No stand-in: on Linux a parent window cannot be used, so the call
    // stores what the list gives, as a windowless call does.
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=w", "Server=s"}), kWindow));
    EXPECT_EQ("s|<none>", keys(odbc, "w", {"Server", "Description"}));
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({"Server=s"}), kWindow));
}

// The transport keys come from an attribute list as the eight do; the
// "Encrypt" check box shows the stored key and OK writes it back.
TEST(ConfigDsn, EncryptCheckBoxStandsForTheEncryptKey) {
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=x", "Server=srv", "encrypt=yes", "CAFile=/etc/ca.pem",
                                            "HostNameInCertificate=db", "TrustServerCertificate=no"})));
    EXPECT_EQ("yes|/etc/ca.pem|db|no",
              keys(odbc, "x", {"Encrypt", "CAFile", "HostNameInCertificate", "TrustServerCertificate"}));
    struct Step {
        const char* stored;  // the key before the dialog opens; null: absent
        bool shown;          // the box as the dialog opens
        bool click;          // the user checks (or clears) it, then OK
        const char* after;
    } steps[] = {
        {nullptr, false, true, "yes"},
        {"yes", true, false, "no"},
        {"TRUE", true, true, "yes"},
        {"no", false, false, "no"},
    };
    for (const Step& s : steps) {
        plat::inst::writePrivateProfileString("x", "Encrypt", s.stored, "ODBC.INI");
        DialogStep ok;
        ok.check[IDC_ENCRYPT] = s.click;
        ScriptedDialog dialog({ok});
        ASSERT_TRUE(config(ODBC_CONFIG_DSN, attrs({"DSN=x"}), kWindow));
        EXPECT_EQ(s.shown, dialog.afterInit.checked[IDC_ENCRYPT]) << (s.stored ? s.stored : "absent");
        EXPECT_EQ(s.after + std::string("|srv"), keys(odbc, "x", {"Encrypt", "Server"}));
    }
}
