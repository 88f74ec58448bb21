// The data-source dialog's template as the DLL carries it: the controls the
// behaviour (the same on both systems, tested on Linux) expects, in tab order,
// of the kinds it drives.
#include "win/dll.h"

#include "setup/setup.h"

#include <cstring>
#include <map>
#include <string>
#include <tuple>

namespace {

// One control of a DLGTEMPLATEEX.
struct Control {
  DWORD style;
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

}  // namespace

TEST(WinDialog, TemplateInTheDll) {
  Template t;
  ASSERT_TRUE(readTemplate(vornwin::dll(), IDD_DSN_SETUP, t));
  EXPECT_EQ("VORNodbc MS Sans Serif 8", t.caption + " " + t.font + " " + std::to_string(t.pointSize));
  const DWORD dialogStyle = DS_CENTER | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(dialogStyle, t.style & dialogStyle);

  // The fields in tab order, then the two buttons.
  const std::vector<DWORD> expected = {IDC_DSN_NAME, IDC_DESCRIPTION, IDC_SERVER,  IDC_SERVICE, IDC_USER, IDC_PASSWORD,
                                       IDC_LOGLEVEL, IDC_LOGFILE,     IDC_ENCRYPT, IDOK,        IDCANCEL};
  std::vector<DWORD> tabOrder;
  for (DWORD id : t.order)
    if (t.controls[id].cls != "#0082") tabOrder.push_back(id);  // statics are not in the tab order
  EXPECT_EQ(expected, tabOrder);
  // Control, style bits looked at, their value; Enter presses OK.
  const std::tuple<DWORD, DWORD, DWORD> styles[] = {
      {IDC_PASSWORD, ES_PASSWORD, ES_PASSWORD},  {IDC_DSN_NAME, WS_GROUP, WS_GROUP},
      {IDC_LOGLEVEL, 3, CBS_DROPDOWNLIST},       {IDC_LOGLEVEL, CBS_SORT, CBS_SORT},
      {IDC_ENCRYPT, 0xF, BS_AUTOCHECKBOX},       {IDOK, 0xF, BS_DEFPUSHBUTTON}};
  for (const auto& [id, mask, value] : styles) EXPECT_EQ(value, t.controls[id].style & mask) << id;
  EXPECT_EQ("#0085", t.controls[IDC_LOGLEVEL].cls);  // a combo box
}
