// Modal dialogs from the library's own resources, with the behaviour kept in
// a DialogBehaviour that reaches the window only through DialogControls.
#include "platform/dialog.h"
#include "platform/platform.h"

#include <windows.h>

namespace plat {

namespace {

class WindowControls : public DialogControls {
public:
    explicit WindowControls(HWND dialog) : dialog_(dialog) {}

    void setText(int control, const char* text) override { SetDlgItemTextA(dialog_, control, text ? text : ""); }
    void getText(int control, char* buffer, std::size_t size) override {
        if (!buffer || size == 0) return;
        buffer[0] = '\0';
        int max = size > 0x7fffffff ? 0x7fffffff : int(size);
        GetDlgItemTextA(dialog_, control, buffer, max);
        buffer[size - 1] = '\0';
    }
    void enable(int control, bool enabled) override {
        EnableWindow(GetDlgItem(dialog_, control), enabled ? TRUE : FALSE);
    }
    void addListItem(int control, const char* text) override {
        SendDlgItemMessageA(dialog_, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    void selectListItem(int control, const char* text) override {
        LRESULT index = SendDlgItemMessageA(dialog_, control, CB_FINDSTRINGEXACT, WPARAM(-1),
                                            reinterpret_cast<LPARAM>(text));
        SendDlgItemMessageA(dialog_, control, CB_SETCURSEL, index == CB_ERR ? WPARAM(-1) : WPARAM(index), 0);
    }
    void warn(const char* text, const char* caption) override {
        MessageBoxA(dialog_, text, caption, MB_OK | MB_ICONEXCLAMATION);
    }
    void setCaption(const char* text) override { SetWindowTextA(dialog_, text ? text : ""); }
    void show(int control, bool shown) override {
        ShowWindow(GetDlgItem(dialog_, control), shown ? SW_SHOW : SW_HIDE);
    }
    void setChecked(int control, bool checked) override {
        CheckDlgButton(dialog_, control, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool isChecked(int control) override { return IsDlgButtonChecked(dialog_, control) == BST_CHECKED; }
    void focus(int control) override {
        SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, control)), TRUE);
        focused = true;
    }

    bool focused = false;  // the behaviour chose the focus

private:
    HWND dialog_;
};

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        WindowControls controls(dialog);
        reinterpret_cast<DialogBehaviour*>(lParam)->onInit(controls);
        return controls.focused ? FALSE : TRUE;  // TRUE: the system focuses the first field
    }
    case WM_COMMAND: {
        auto* behaviour = reinterpret_cast<DialogBehaviour*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (!behaviour) return FALSE;
        switch (LOWORD(wParam)) {
        case IDOK: {
            WindowControls controls(dialog);
            if (behaviour->onOk(controls)) EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

}  // namespace

DialogResult nativeModalDialog(void* parent, int resource, DialogBehaviour& behaviour) {
    INT_PTR result = DialogBoxParamA(static_cast<HINSTANCE>(moduleHandle()), MAKEINTRESOURCEA(resource),
                                     static_cast<HWND>(parent), dialogProc,
                                     reinterpret_cast<LPARAM>(&behaviour));
    // A dialog that could not be shown (no such window, no template) did not
    // end with OK: the caller answers as for Cancel rather than going on
    // without the user.
    return result == IDOK ? DialogResult::Ok : DialogResult::Cancel;
}

}  // namespace plat
