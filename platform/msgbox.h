// Message boxes and the few other user-interface services of the client kit.
// On Windows they are the real thing; a Linux process has no window system a
// library could rely on, so a message box there writes its caption and text
// to standard error (the kit adds a line to its own log).
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// Style bits, with the Win32 values.
enum : unsigned {
    kMsgBoxOk = 0x0000,
    kMsgBoxIconStop = 0x0010,
    kMsgBoxIconExclamation = 0x0030,
    kMsgBoxIconInformation = 0x0040,
    kMsgBoxTaskModal = 0x2000,
};

// Shows a modal message box without an owner window; returns the button
// pressed (1 for OK; 1 where there is no window system).
int messageBox(const char* caption, const char* text, unsigned style);

// Replaces the message box (tests record them); null restores the platform's.
using MessageBoxHook = int (*)(const char* caption, const char* text, unsigned style);
void setMessageBoxHook(MessageBoxHook hook);
// The platform's own message box (platform/<os>/msgbox.cpp).
int nativeMessageBox(const char* caption, const char* text, unsigned style);

// True when the Escape key was pressed since the last query (always false
// without a keyboard state to ask).
bool escapeKeyPressed();

// The system's text for an error code (FormatMessage on Windows, strerror's
// text for errno values elsewhere); "" when it has none.
std::string systemErrorText(long code);

// String resource `id` of `module` (at most 255 characters); "" when absent.
std::string loadStringResource(void* module, unsigned id);

// How many copies of `fill` are as wide as `text` (tabs expanded) in the
// window's font; 0 without a window system.
std::size_t fillerCount(void* window, const char* text, char fill);

// Adds `text` as a new line of a list box, or makes it the window's text.
bool showInWindow(void* window, const char* text);

}  // namespace plat
