// A report-view list whose cells (except the first column) are edited in place, and its edit.
#pragma once

#include "platform/Window.h"

#include <commctrl.h>

#include <functional>
#include <string>

class CInPlaceEdit;

// A cell's text as the list shows it.
std::string CellTextOf(HWND list, int row, int column);

class CExtendedListCtrl : public platform::Window {
public:
    // Decides whether an edited text may be stored in the cell; none accepts everything.
    using AcceptEdit = std::function<bool(int row, int column, const std::string& text)>;
    // The text of a cell that the list asks for (cells inserted with LPSTR_TEXTCALLBACK).
    using CellText = std::function<std::string(int row, int column)>;

    void SetAcceptEdit(AcceptEdit accept) { m_accept = std::move(accept); }
    void SetCellText(CellText cellText) { m_cellText = std::move(cellText); }

    // The row under a point (client coordinates) or -1, and its column.
    int HitTestEx(POINT point, int* column) const;
    // Starts editing a cell; null for a missing or too narrow column.
    CInPlaceEdit* EditSubLabel(int row, int column);

    bool OnMessageReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    int ColumnCount() const;
    AcceptEdit m_accept;
    CellText m_cellText;
};

class CInPlaceEdit : public platform::Window {
public:
    // Creates the edit over a cell of list; it deletes itself once its window is gone.
    static CInPlaceEdit* Create(HWND list, int row, int column, const std::string& text, DWORD alignment,
                                const RECT& rect);

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnNcDestroy() override { delete this; }

private:
    CInPlaceEdit(HWND list, int row, int column, std::string text)
        : m_list(list), m_row(row), m_column(column), m_initialText(std::move(text)) {}
    void EndEdit();
    void Grow();

    HWND m_list;
    int m_row;
    int m_column;
    std::string m_initialText;
    BOOL m_escapePressed = FALSE;
    bool m_ended = false;
};
