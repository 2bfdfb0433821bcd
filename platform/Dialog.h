// Dialog objects over resource templates of the module: modal and modeless runs, dispatch of the
// usual notifications to virtual handlers, reflection of owner drawing to child controls.
#pragma once

#include "platform/Window.h"

namespace platform {

class Dialog : public Window {
public:
    Dialog(UINT templateId, HWND parent) noexcept : m_templateId(templateId), m_parent(parent) {}
    ~Dialog() override;

    // Runs the dialog modally; returns the value given to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (pages, child dialogs).
    HWND CreateModeless();
    // Ends a modal run with this result, or destroys a modeless dialog.
    void EndDialog(INT_PTR result);

    UINT GetTemplateId() const noexcept { return m_templateId; }
    HWND GetParentWnd() const noexcept { return m_parent; }
    void SetParentWnd(HWND parent) noexcept { m_parent = parent; }
    HWND GetItem(int id) const noexcept { return ::GetDlgItem(GetHwnd(), id); }
    bool IsModal() const noexcept { return m_modal; }

protected:
    // Message handling; the defaults dispatch to the handlers below. Return TRUE when handled; a
    // message result goes through SetMessageResult.
    virtual INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; return true when handled. Unhandled IDOK / IDCANCEL go to OnOK / OnCancel.
    virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnTimer(UINT_PTR) {}
    // WM_NOTIFY that no child control took; the result goes through SetMessageResult.
    virtual BOOL OnNotify(WPARAM, LPARAM) { return FALSE; }
    virtual void OnDestroy() {}

    void SetMessageResult(LRESULT result) noexcept;

    // Dialogs do not use WndProc: the system's dialog procedure runs them.
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) final;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
    bool m_modal = false;
};

} // namespace platform
