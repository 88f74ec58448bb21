// User-interface services over the Win32 user and GDI calls.
#include "platform/msgbox.h"

#include <windows.h>

#include <cstring>

namespace plat {

int nativeMessageBox(const char* caption, const char* text, unsigned style) {
    return MessageBoxA(nullptr, text ? text : "", caption ? caption : "", style);
}

bool escapeKeyPressed() { return (GetAsyncKeyState(VK_ESCAPE) & 1) != 0; }

std::string systemErrorText(long code) {
    char buf[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ')) --n;
    return std::string(buf, n);
}

std::string loadStringResource(void* module, unsigned id) {
    char buf[256];
    int n = LoadStringA(static_cast<HINSTANCE>(module), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::size_t fillerCount(void* window, const char* text, char fill) {
    HWND hwnd = static_cast<HWND>(window);
    if (!hwnd || !text) return 0;
    HDC dc = GetDC(hwnd);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0)));
    DWORD textExtent = GetTabbedTextExtentA(dc, text, static_cast<int>(std::strlen(text)), 0, nullptr);
    SIZE one{};
    GetTextExtentPoint32A(dc, &fill, 1, &one);
    if (old) SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return one.cx > 0 ? LOWORD(textExtent) / static_cast<std::size_t>(one.cx) : 0;
}

bool showInWindow(void* window, const char* text) {
    HWND hwnd = static_cast<HWND>(window);
    if (!hwnd) return false;
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, "ListBox") == 0) return SendMessageA(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)) >= 0;
    return SetWindowTextA(hwnd, text) != 0;
}

}  // namespace plat
