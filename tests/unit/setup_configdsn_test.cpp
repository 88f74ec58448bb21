// ConfigDSN against unixODBC's real installer library in a
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
    EXPECT_FALSE(config(ODBC_REMOVE_DSN, attrs({"Server=db2"})));
    EXPECT_NE("", lastInstallerError());
    EXPECT_FALSE(ConfigDSN(nullptr, ODBC_ADD_DSN, kDriver, nullptr));
    // Names over the installer's 32 characters, or with brackets, are refused.
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({"DSN=" + std::string(33, 'n')})));
    EXPECT_FALSE(config(ODBC_CONFIG_DSN, attrs({"DSN=[alpha]"})));
    EXPECT_NE(std::string::npos, lastInstallerError().find("\"[alpha]\" cannot name a data source"));

    ASSERT_TRUE(config(ODBC_REMOVE_DSN, attrs({"DSN=ALPHA"})));
    EXPECT_FALSE(odbc.hasDsn("alpha"));

    // Without a stand-in, on Linux a parent window cannot be used: the call
    // stores what the list gives, as a windowless call does.
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=w", "Server=s"}), kWindow));
    EXPECT_EQ("s|<none>", keys(odbc, "w", {"Server", "Description"}));
    EXPECT_FALSE(config(ODBC_ADD_DSN, attrs({"Server=s"}), kWindow));
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
}

// The "Encrypt" check box shows the stored key and OK writes it back (the
// transport keys of an attribute list are used by tls_it.cpp).
TEST(ConfigDsn, EncryptCheckBoxStandsForTheEncryptKey) {
    OdbcSandbox odbc;
    ASSERT_TRUE(config(ODBC_ADD_DSN, attrs({"DSN=x", "Server=srv"})));
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
