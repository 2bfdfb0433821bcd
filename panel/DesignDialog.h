// CDesignDialog: the acquisition control panel (template 25000), a stacked-pages dialog run modally
// on the GUI thread, in three designs chosen by protocol version and mode.
#pragma once

#include "panel/PanelLayout.h"
#include "platform/Handle.h"
#include "selection/StackedDialog.h"

inline constexpr UINT kPanelTemplate = 25000;
inline constexpr UINT kPanelBackground = 129;
inline constexpr UINT kPagePlaceholder = 1010;
// Private messages from the host: end of acquisition.
inline constexpr UINT kMsgHostPreview = WM_USER + 0x25A;      // 0x65A
inline constexpr UINT kMsgHostEndAcquisition = WM_USER + 0x25B; // 0x65B
inline constexpr UINT kMsgHostEndAcquisition2 = WM_USER + 0x25C; // 0x65C
inline constexpr int kPanelWidth = 1024;
inline constexpr int kPanelHeight = 768;

class CDesignDialog : public TStackedDialog {
public:
    explicit CDesignDialog(HWND parent);

    TStackedPage* CreatePage(UINT id) override;
    void OnPageChanged(UINT, int) override {}

    // The panel's layout for its design; false ends the panel at start-up with result 0.
    virtual bool LayoutPanel() { return false; }

    // Cancel, Escape on a page and message 0x65F: ignored while an exposure cycle runs.
    void RequestClose();

    int cycleFlag = 0;
    int programPageId = 0;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCancel() override { RequestClose(); }
    void OnOK() override {}
    // The design's layout on the panel's skin (panel/PanelLayout.cpp).
    bool LayoutDesign(panel::Design design) {
        return panel::LayoutPanel(GetHwnd(), m_background.Get(), design, m_controls);
    }

private:
    platform::UniqueBitmap m_background;
    panel::PanelControls m_controls;
};

class CDesignDialogV1 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
};
class CDesignDialogV2 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
};
class CDesignDialogV3 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
};
