// Driver registration against unixODBC's real installer library in a private
// configuration: the installer's directory is the sandbox, where the library
// is copied and odbcinst.ini written.
#include "platform/installer.h"
#include "platform/msgbox.h"
#include "setup/register.h"
#include "support/message_boxes.h"
#include "support/odbc_sandbox.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>

using vorntest::OdbcSandbox;

namespace {

class Register : public ::testing::Test {
protected:
    void SetUp() override {
        // A stand-in for the built library, outside the installer's directory.
        lib_ = box_.dir() + "/build/" + kDriverLibraryFile;
        std::filesystem::create_directory(box_.dir() + "/build");
        box_.write(lib_, "library v1");
        // unixODBC reads ODBCSYSINI once per process; ctest runs each test
        // in its own process, a whole-suite run may not.
        char dir[300] = "";
        unsigned short length = 0;
        std::uint32_t usage = 0;
        plat::inst::installDriverEx("x\0\0", nullptr, dir, sizeof dir, &length, ODBC_INSTALL_INQUIRY, &usage);
        if (box_.dir() != dir) GTEST_SKIP() << "installer configuration fixed earlier in this process: " << dir;
    }

    std::string driverKey(const char* description, const char* key) const {
        char buf[1024] = "";
        plat::inst::getPrivateProfileString(description, key, "<none>", buf, sizeof buf, "ODBCINST.INI");
        return buf;
    }

    OdbcSandbox box_;
    vorntest::RecordedMessageBoxes boxes_;
    std::string lib_;
};

}  // namespace

TEST_F(Register, LibraryAlreadyInTheInstallationDirectoryIsNotCopied) {
    // A file of the entry's name must not be overwritten by a copy of itself;
    // a differently named one keeps its own name in the entry.
    std::string inPlace = box_.dir() + "/vornodbc-local.so";
    box_.write(inPlace, "in place");
    ASSERT_EQ(kRegisterOk, registerDriver(inPlace));
    EXPECT_EQ(inPlace, driverKey(kDriverDescription, "Driver"));
    EXPECT_EQ("", box_.read(box_.dir() + "/" + kDriverLibraryFile));  // no copy installed
}

// A copy that fails, then an entry the installer refuses: a box for each,
// with the system's or the installer's reason, and no entry left behind.
TEST_F(Register, FailuresShowTheReasonAndInstallNothing) {
    ASSERT_EQ(kRegisterOk, registerDriver(lib_));
    std::filesystem::remove(lib_);
    EXPECT_EQ(kRegisterUnexpected, registerDriver(lib_));
    // The earlier registration was removed before the copy was tried.
    EXPECT_EQ("<none>", driverKey(kDriverDescription, "Driver"));

    box_.write(lib_, "library v1");
    std::filesystem::remove(box_.driverIni());
    std::filesystem::create_directory(box_.driverIni());
    EXPECT_EQ(kRegisterUnexpected, registerDriver(lib_));
    const auto& boxes = boxes_.boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("ODBC Driver Installation Copying Error|" + plat::systemErrorText(ENOENT) +
                  "|ODBC Driver Installation Completion Error",
              boxes[0].caption + "|" + boxes[0].text + "|" + boxes[1].caption);
    EXPECT_FALSE(boxes[1].text.empty());
    for (const auto& box : boxes) EXPECT_EQ(unsigned(plat::kMsgBoxIconStop), box.style);
}

// unixODBC ignores the remove-data-sources flag: the data sources of a
// removed driver stay (Windows removes them; the Windows tests check that).
TEST_F(Register, UnregisterRemovesCurrentAndFormerEntries) {
    std::string former = std::string(kFormerDriverDescription) + '\0' + "Driver=/old/vorn.so" + '\0' + '\0';
    char path[300];
    unsigned short length = 0;
    std::uint32_t usage = 0;
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(plat::inst::installDriverEx(former.data(), box_.dir().c_str(), path, sizeof path, &length,
                                                ODBC_INSTALL_COMPLETE, &usage));
    ASSERT_EQ(kRegisterOk, registerDriver(lib_));
    EXPECT_EQ("<none>", driverKey(kFormerDriverDescription, "Driver"));  // gone with the registration

    // Data sources of this driver (by name or by library) and of another.
    box_.write(box_.userIni(), "[left]\nDriver=" + std::string(kDriverDescription) +
                                   "\n[bypath]\nDriver=/opt/x/libvornodbc.so\n[other]\nDriver=Other driver\n");
    EXPECT_EQ(kRegisterOk, registerDriver(lib_));
    EXPECT_TRUE(boxes_.boxes().empty());  // registering again removes quietly

    EXPECT_EQ(kRegisterOk, unregisterDriver());
    EXPECT_EQ("<none>", driverKey(kDriverDescription, "Driver"));
    // unixODBC leaves them: the removal says which cannot connect now.
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ("ODBC Driver Removal", boxes_.boxes()[0].caption);
    const std::string& text = boxes_.boxes()[0].text;
    EXPECT_NE(std::string::npos, text.find("cannot connect until it is registered again: left, bypath.")) << text;
}
