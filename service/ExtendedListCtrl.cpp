// In-place editing of a report-view list: the edit takes every key (so Enter and Escape end the edit,
// not the dialog), tells the list's parent once when it ends, and is gone after WM_NCDESTROY.
#include "service/ExtendedListCtrl.h"

#include <algorithm>
#include <vector>

namespace {
// Narrower columns are not worth editing.
constexpr int kMinEditableWidth = 5;
// The edit sits a little inside the cell, as the list draws its text.
constexpr int kEditInset = 4;
constexpr int kGrowMargin = 5;
constexpr int kCellTextBuffer = 260;
} // namespace

std::string CellTextOf(HWND list, int row, int column) {
    char text[kCellTextBuffer] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

int CExtendedListCtrl::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(GetHwnd(), LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int CExtendedListCtrl::HitTestEx(POINT point, int* column) const {
    HWND list = GetHwnd();
    if (column)
        *column = 0;
    if ((::GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT) {
        LVHITTESTINFO info{};
        info.pt = point;
        return static_cast<int>(::SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    }
    const int top = static_cast<int>(::SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    const int bottom =
        std::min(count, top + static_cast<int>(::SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0)) + 1);
    const int columns = ColumnCount();
    for (int row = std::max(top, 0); row < bottom; ++row) {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        if (!::SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)))
            continue;
        if (!::PtInRect(&rect, point))
            continue;
        int right = rect.left;
        for (int c = 0; c < columns; ++c) {
            right += static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
            if (point.x <= right) {
                if (column)
                    *column = c;
                return row;
            }
        }
        return row;
    }
    return -1;
}

CInPlaceEdit* CExtendedListCtrl::EditSubLabel(int row, int column) {
    HWND list = GetHwnd();
    ::SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    if (column < 0 || column >= ColumnCount())
        return nullptr;
    const int width =
        static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    if (width < kMinEditableWidth)
        return nullptr;
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (!::SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)))
        return nullptr;
    int offset = 0;
    for (int c = 0; c < column; ++c)
        offset += static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    RECT client{};
    ::GetClientRect(list, &client);
    int left = rect.left + offset;
    if (left < 0 || left > client.right) {
        ::SendMessageA(list, LVM_SCROLL, static_cast<WPARAM>(left), 0);
        left = 0; // the cell now starts at the client area's left edge
    }
    LVCOLUMNA info{};
    info.mask = LVCF_FMT;
    ::SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    DWORD alignment = ES_LEFT;
    if ((info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT)
        alignment = ES_RIGHT;
    else if ((info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER)
        alignment = ES_CENTER;
    RECT editRect{left + kEditInset, rect.top, std::min<LONG>(left + width + 1, client.right), rect.bottom};
    return CInPlaceEdit::Create(list, row, column, CellTextOf(list, row, column), alignment, editRect);
}

LRESULT CExtendedListCtrl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int column = 0;
        const int before = HitTestEx(point, &column);
        const bool hadFocus = before >= 0 && ::SendMessageA(GetHwnd(), LVM_GETNEXTITEM,
                                                            static_cast<WPARAM>(-1), LVNI_FOCUSED) == before;
        // The ordinary click first, so a row is selected as usual.
        const LRESULT result = FinalWindowProc(msg, wParam, lParam);
        const int row = HitTestEx(point, &column);
        if (row < 0)
            return result;
        const bool editable = (::GetWindowLongA(GetHwnd(), GWL_STYLE) & LVS_EDITLABELS) != 0;
        if (hadFocus && row == before && column > 0 && editable) {
            EditSubLabel(row, column);
        } else {
            LVITEMA state{};
            state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageA(GetHwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&state));
        }
        return result;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        // Scrolling ends an open edit: it would stay where the cell was.
        if (::GetFocus() != GetHwnd())
            ::SetFocus(GetHwnd());
        break;
    default:
        break;
    }
    return Window::WndProc(msg, wParam, lParam);
}

bool CExtendedListCtrl::OnMessageReflect(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
    if (msg != WM_NOTIFY)
        return false;
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == LVN_GETDISPINFOA && m_cellText) {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header));
        if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
            const std::string text = m_cellText(info->item.iItem, info->item.iSubItem);
            lstrcpynA(info->item.pszText, text.c_str(), info->item.cchTextMax);
        }
        result = 0;
        return true;
    }
    if (header->code == LVN_ENDLABELEDITA) {
        const auto* info = reinterpret_cast<const NMLVDISPINFOA*>(header);
        // No text: the edit was cancelled and the cell stays as it was.
        if (info->item.pszText) {
            const std::string text = info->item.pszText;
            if (!m_accept || m_accept(info->item.iItem, info->item.iSubItem, text)) {
                LVITEMA item{};
                item.iSubItem = info->item.iSubItem;
                item.pszText = const_cast<char*>(text.c_str());
                ::SendMessageA(GetHwnd(), LVM_SETITEMTEXTA, static_cast<WPARAM>(info->item.iItem),
                               reinterpret_cast<LPARAM>(&item));
            }
        }
        result = FALSE;
        return true;
    }
    return false;
}

CInPlaceEdit* CInPlaceEdit::Create(HWND list, int row, int column, const std::string& text, DWORD alignment,
                                   const RECT& rect) {
    HWND wnd =
        ::CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | alignment,
                          rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, list,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(::GetDlgCtrlID(list))),
                          ::GetModuleHandleA(nullptr), nullptr);
    if (!wnd)
        return nullptr;
    auto* edit = new CInPlaceEdit(list, row, column, text);
    if (!edit->Attach(wnd)) {
        ::DestroyWindow(wnd);
        delete edit;
        return nullptr;
    }
    ::SendMessageA(wnd, WM_SETFONT, ::SendMessageA(list, WM_GETFONT, 0, 0), FALSE);
    ::SetWindowTextA(wnd, edit->m_initialText.c_str());
    ::SetFocus(wnd);
    ::SendMessageA(wnd, EM_SETSEL, 0, -1);
    ::SendMessageA(wnd, EM_SCROLLCARET, 0, 0);
    return edit;
}

void CInPlaceEdit::Grow() {
    HWND wnd = GetHwnd();
    char text[kCellTextBuffer] = {};
    ::GetWindowTextA(wnd, text, sizeof text);
    HDC dc = ::GetDC(wnd);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(m_list, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(wnd, dc);
    size.cx += kGrowMargin;
    RECT rect{}, listClient{};
    ::GetWindowRect(wnd, &rect);
    ::MapWindowPoints(nullptr, m_list, reinterpret_cast<POINT*>(&rect), 2);
    ::GetClientRect(m_list, &listClient);
    if (size.cx > rect.right - rect.left) {
        const LONG right = std::min<LONG>(rect.left + size.cx, listClient.right);
        ::SetWindowPos(wnd, nullptr, 0, 0, right - rect.left, rect.bottom - rect.top,
                       SWP_NOMOVE | SWP_NOZORDER);
    }
}

void CInPlaceEdit::EndEdit() {
    if (m_ended)
        return;
    m_ended = true;
    char text[kCellTextBuffer] = {};
    ::GetWindowTextA(GetHwnd(), text, sizeof text);
    NMLVDISPINFOA info{};
    info.hdr.hwndFrom = m_list;
    info.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(m_list));
    info.hdr.code = LVN_ENDLABELEDITA;
    info.item.mask = LVIF_TEXT;
    info.item.iItem = m_row;
    info.item.iSubItem = m_column;
    info.item.pszText = m_escapePressed ? nullptr : text;
    info.item.cchTextMax = m_escapePressed ? 0 : lstrlenA(text);
    ::SendMessageA(::GetParent(m_list), WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
}

LRESULT CInPlaceEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_GETDLGCODE:
        // Enter and Escape belong to the edit, not to the dialog's default and cancel buttons.
        return DLGC_WANTALLKEYS | FinalWindowProc(msg, wParam, lParam);
    case WM_CHAR:
        if (wParam == VK_ESCAPE || wParam == VK_RETURN) {
            if (wParam == VK_ESCAPE)
                m_escapePressed = TRUE;
            ::SetFocus(m_list);
            return 0;
        }
        {
            const LRESULT result = FinalWindowProc(msg, wParam, lParam);
            Grow();
            return result;
        }
    case WM_KILLFOCUS: {
        const LRESULT result = FinalWindowProc(msg, wParam, lParam);
        EndEdit();
        // The window's last messages delete this object: nothing of it is touched afterwards.
        ::DestroyWindow(GetHwnd());
        return result;
    }
    default:
        return Window::WndProc(msg, wParam, lParam);
    }
}
