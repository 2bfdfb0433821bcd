// Dialog objects: template loading from the module, modal/modeless runs and dispatch.
#include "platform/Dialog.h"

#include "platform/Module.h"

namespace platform {

Dialog::~Dialog() {
    HWND wnd = GetHwnd();
    if (wnd && ::IsWindow(wnd)) {
        UnbindObject(wnd);
        ::SetWindowLongPtrA(wnd, DWLP_USER, 0);
        ::DestroyWindow(wnd);
    }
    SetHwnd(nullptr);
}

INT_PTR Dialog::DoModal() {
    m_modal = true;
    INT_PTR result = ::DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                       &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

HWND Dialog::CreateModeless() {
    m_modal = false;
    return ::CreateDialogParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    HWND wnd = GetHwnd();
    if (!wnd)
        return;
    if (m_modal)
        ::EndDialog(wnd, result);
    else
        ::DestroyWindow(wnd);
}

bool Dialog::OnCommand(WPARAM, LPARAM) { return false; }

void Dialog::SetMessageResult(LRESULT result) noexcept {
    if (GetHwnd())
        ::SetWindowLongPtrA(GetHwnd(), DWLP_MSGRESULT, result);
}

LRESULT Dialog::WndProc(UINT, WPARAM, LPARAM) { return 0; }

INT_PTR Dialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return TRUE;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!ReflectToChild(msg, wParam, lParam, result))
            return OnNotify(wParam, lParam);
        SetMessageResult(result);
        return TRUE;
    }
    case WM_DRAWITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        LRESULT result = 0;
        if (!ReflectToChild(msg, wParam, lParam, result))
            return FALSE;
        if (msg == WM_DRAWITEM) {
            SetMessageResult(result);
            return TRUE;
        }
        return static_cast<INT_PTR>(result); // colour messages return the brush itself
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Dialog* dialog = nullptr;
    if (msg == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
        if (dialog) {
            dialog->SetHwnd(wnd);
            ::SetWindowLongPtrA(wnd, DWLP_USER, lParam);
            BindObject(wnd, dialog);
        }
    } else {
        dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(wnd, DWLP_USER));
    }
    if (!dialog)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = dialog->DialogProc(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system or the host.
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(wnd, DWLP_USER, 0);
        UnbindObject(wnd);
        dialog->SetHwnd(nullptr);
        try {
            dialog->OnNcDestroy();
        } catch (...) {
        }
    }
    return result;
}

} // namespace platform
