// The data-source dialog on Windows: its template as the DLL carries it, and
// its behaviour (compiled into this program) run against a scripted stand-in
// with the system's installer library underneath (the behaviour itself, the
// same on both systems, is tested on Linux).
#include "win/dll.h"

#include "setup/setup.h"
#include "support/attribute_list.h"
#include "support/scripted_dialog.h"

#include <cstring>
#include <map>
#include <string>
#include <tuple>

using vorntest::DialogStep;
using vorntest::ScriptedDialog;

namespace {

// One control of a DLGTEMPLATEEX.
struct Control {
  DWORD style;
  short x, y, cx, cy;
  std::string cls;  // "#0080" for an atom
  std::string text;
};

struct Template {
  DWORD style = 0;
  std::string caption, font;
  WORD pointSize = 0;
  std::map<DWORD, Control> controls;
  std::vector<DWORD> order;
};

std::string narrow(const WCHAR*& p) {
  std::string s;
  for (; *p; ++p) s += char(*p);
  ++p;
  return s;
}

// A name or an ordinal (0xFFFF then the number).
std::string nameOrOrdinal(const WCHAR*& p) {
  if (*p == 0xFFFF) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%04X", unsigned(p[1]));
    p += 2;
    return buf;
  }
  return narrow(p);
}

bool readTemplate(HMODULE module, int id, Template& t) {
  HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  if (!res) return false;
  auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
  if (!base) return false;
  auto* w = reinterpret_cast<const WORD*>(base);
  if (w[0] != 1 || w[1] != 0xFFFF) return false;  // DLGTEMPLATEEX
  const BYTE* p = base + 4 + 4 + 4;                // version, signature, help id, ex style
  t.style = *reinterpret_cast<const DWORD*>(p);
  p += 4;
  WORD count = *reinterpret_cast<const WORD*>(p);
  p += 2;
  auto* q = reinterpret_cast<const WCHAR*>(p + 8);  // past the dialog's x, y, cx, cy
  nameOrOrdinal(q);  // menu
  nameOrOrdinal(q);  // class
  t.caption = narrow(q);
  t.pointSize = q[0];
  q += 3;  // point size, weight, italic and character set
  t.font = narrow(q);
  p = reinterpret_cast<const BYTE*>(q);
  for (WORD i = 0; i < count; ++i) {
    p = reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
    Control c;
    c.style = *reinterpret_cast<const DWORD*>(p + 8);
    auto* r = reinterpret_cast<const short*>(p + 12);
    c.x = r[0], c.y = r[1], c.cx = r[2], c.cy = r[3];
    DWORD id = *reinterpret_cast<const DWORD*>(p + 20);
    q = reinterpret_cast<const WCHAR*>(p + 24);
    c.cls = nameOrOrdinal(q);
    c.text = nameOrOrdinal(q);
    WORD extra = *q++;
    p = reinterpret_cast<const BYTE*>(q) + extra;
    t.controls[id] = c;
    t.order.push_back(id);
  }
  return true;
}

const char* const kDriver = "Kalmo VORNsql driver";
HWND const kWindow = reinterpret_cast<HWND>(0x1234);

using vorntest::attributeList;

}  // namespace

TEST(WinDialog, TemplateInTheDll) {
  Template t;
  ASSERT_TRUE(readTemplate(vornwin::dll(), IDD_DSN_SETUP, t));
  EXPECT_EQ("VORNodbc MS Sans Serif 8", t.caption + " " + t.font + " " + std::to_string(t.pointSize));
  const DWORD dialogStyle = DS_CENTER | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(dialogStyle, t.style & dialogStyle);

  // The fields in tab order, at their places; then the two buttons.
  const DWORD fields[] = {IDC_DSN_NAME, IDC_DESCRIPTION, IDC_SERVER, IDC_SERVICE,
                          IDC_USER,     IDC_PASSWORD,    IDC_LOGLEVEL, IDC_LOGFILE, IDC_ENCRYPT};
  std::vector<DWORD> tabOrder;
  for (DWORD id : t.order)
    if (t.controls[id].cls != "#0082") tabOrder.push_back(id);  // statics are not in the tab order
  std::vector<DWORD> expected(std::begin(fields), std::end(fields));
  expected.push_back(IDOK);
  expected.push_back(IDCANCEL);
  EXPECT_EQ(expected, tabOrder);
  // Control, style bits looked at, their value; Enter presses OK.
  const std::tuple<DWORD, DWORD, DWORD> styles[] = {
      {IDC_PASSWORD, ES_PASSWORD, ES_PASSWORD},  {IDC_DSN_NAME, WS_GROUP, WS_GROUP},
      {IDC_LOGLEVEL, 3, CBS_DROPDOWNLIST},       {IDC_LOGLEVEL, CBS_SORT, CBS_SORT},
      {IDC_ENCRYPT, 0xF, BS_AUTOCHECKBOX},       {IDOK, 0xF, BS_DEFPUSHBUTTON}};
  for (const auto& [id, mask, value] : styles) EXPECT_EQ(value, t.controls[id].style & mask) << id;
  EXPECT_EQ("#0085 &Encrypt &OK &Cancel", t.controls[IDC_LOGLEVEL].cls + " " + t.controls[IDC_ENCRYPT].text + " " +
                                              t.controls[IDOK].text + " " + t.controls[IDCANCEL].text);
  EXPECT_EQ(t.controls[IDC_LOGFILE].x, t.controls[IDC_ENCRYPT].x);  // under the fields
  EXPECT_LT(t.controls[IDC_ENCRYPT].y + t.controls[IDC_ENCRYPT].cy, t.controls[IDOK].y);

  const std::pair<DWORD, const char*> labels[] = {
      {1000, "Data Source Name:"}, {1007, "Description:"}, {1008, "Host/Server Name:"}, {1011, "Service:"},
      {1009, "User Name:"},        {1013, "Password:"},    {1014, "Log level:"},        {1015, "Logfile:"}};
  for (const auto& l : labels) {
    const Control& c = t.controls[l.first];
    EXPECT_EQ(l.second, c.text);
    EXPECT_LT(c.x + c.cx, t.controls[IDC_DSN_NAME].x) << l.second;  // left of the fields
  }
}

TEST(WinDialog, BehaviourStoresThroughTheInstaller) {
  {
    ScriptedDialog dialog({DialogStep{{{IDC_SERVER, "winhost"}, {IDC_SERVICE, "7110"}, {IDC_LOGLEVEL, "3"}}}});
    ASSERT_TRUE(ConfigDSN(kWindow, ODBC_ADD_DSN, kDriver, attributeList({"DSN=vorndlg"}).data()));
    EXPECT_TRUE(dialog.afterInit.disabled[IDC_DSN_NAME]);
  }
  // The dialog writes every key.
  EXPECT_EQ("winhost|7110|3|", vornwin::keys("vorndlg", {"Server", "Service", "LogLevel", "Description"}));

  EXPECT_TRUE(ConfigDSN(nullptr, ODBC_REMOVE_DSN, kDriver, attributeList({"DSN=vorndlg"}).data()));
}
