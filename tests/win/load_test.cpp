// The DLL loads through the system loader and exports exactly its list.
#include "win/dll.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(DllLoad, ExportsExactlyTheList) {
  ASSERT_NE(vornwin::dll(), nullptr);
  std::vector<std::string> exported = vornwin::exportedNames();
  std::vector<std::string> expected = vornwin::expectedExports();
  std::sort(exported.begin(), exported.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(exported, expected);
  for (const std::string& name : expected) EXPECT_NE(GetProcAddress(vornwin::dll(), name.c_str()), nullptr) << name;
  EXPECT_THROW(vornwin::dllProc("SQLNoSuchFunction"), std::runtime_error);
}

TEST(DllLoad, IsolatedRerunSeesItsEnvironment) {
  if (!vornwin::isolated()) {
    ASSERT_EQ(vornwin::rerunIsolated({{"VORN_HARNESS_PROBE", "42"}}), 0);
    EXPECT_EQ(std::getenv("VORN_HARNESS_PROBE"), nullptr);
    return;
  }
  const char* v = std::getenv("VORN_HARNESS_PROBE");
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, "42");
}
