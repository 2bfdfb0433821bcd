// CDesignDialog: the acquisition control panel (template 25000), a stacked-pages dialog run modally
// on the GUI thread, in three designs chosen by protocol version and mode. It mirrors the unit: every
// 200 ms it reads the unit's state, error, conditions and selection and lights its displays from them.
#pragma once

#include "link/Records.h"
#include "panel/PanelLayout.h"
#include "panel/PanelOperations.h"
#include "panel/PanelRules.h"
#include "panel/ProgramRecap.h"
#include "platform/Handle.h"
#include "resources/ResourceIds.h"
#include "selection/StackedDialog.h"

#include <string>

inline constexpr UINT kPanelTemplate = IDD_PANEL;
inline constexpr UINT kPanelBackground = IDB_PANEL_BACKGROUND;
inline constexpr UINT kPanelIcon = IDI_PANEL;
inline constexpr UINT kPagePlaceholder = IDC_PAGE_AREA;
// Private messages from the host: preview image and end of acquisition.
inline constexpr UINT kMsgHostPreview = WM_USER + 0x25A;         // 0x65A
inline constexpr UINT kMsgHostEndAcquisition = WM_USER + 0x25B;  // 0x65B
inline constexpr UINT kMsgHostEndAcquisition2 = WM_USER + 0x25C; // 0x65C
inline constexpr int kPanelWidth = 1024;
inline constexpr int kPanelHeight = 768;

// The panel's controls by what they show; the template's identifiers name them otherwise.
namespace panelid {
inline constexpr int kVoiceSwitch = IDC_BUTTON_VOCAL;
inline constexpr int kEmission = IDC_BUTTON_EMISSION;
inline constexpr int kReady = IDC_BUTTON_ETATPRET;
inline constexpr int kInformation = IDC_BUTTON_INFORMATION;
inline constexpr int kLaser = IDC_BUTTON_LASER;
inline constexpr int kReset = IDC_BUTTON_RAZ;
inline constexpr int kNox = IDC_BUTTON_NOX;
inline constexpr int kBuild = IDC_RECAP_CORPULENCE;
// The age displays' template names are the wrong way round: the "child" one carries the adult pictures.
inline constexpr int kAgeAdult = IDC_RECAP_ENFANT;
inline constexpr int kAgeChild = IDC_RECAP_ADULTE;
inline constexpr int kPageSelector = IDC_BUTTONROND;
inline constexpr int kKv = IDC_KV_VALEUR;
inline constexpr int kMilliAmps = IDC_MA_VALEUR;
inline constexpr int kCaptionProgram = IDC_STATIC_BOUTON_PROGRAMME;
inline constexpr int kCaptionPatient = IDC_STATIC_BOUTON_PATIENT;
inline constexpr int kCaptionParameters = IDC_STATIC_BOUTON_PARAMETRE;
inline constexpr int kTime = IDC_MS_VALEUR;
inline constexpr int kDose = IDC_DOSE_VALEUR;
inline constexpr int kMessage = IDC_MESSAGE_INFO;
inline constexpr int kCode = IDC_CODE_INFO;
inline constexpr int kWaitingTime = IDC_TEMPS;
inline constexpr int kPreview = IDC_PREVIEW;
} // namespace panelid

// Where the panel's voice prompts and emission beep go; tests count them instead of hearing them.
class CPanelSound {
public:
    virtual ~CPanelSound() = default;
    // Starts a WAVE resource of the language library without cutting a prompt still playing.
    virtual void PlayPrompt(UINT id) = 0;
    virtual void Beep() = 0;
};
// Replaces the sound output of every panel; null restores the system's.
void SetPanelSound(CPanelSound* sound) noexcept;

class CDesignDialog : public TStackedDialog, public CPanelOperations {
public:
    explicit CDesignDialog(HWND parent);
    ~CDesignDialog() override;

    TStackedPage* CreatePage(UINT id) override;
    void OnPageChanged(UINT, int) override {}

    // The panel's own operations, in their order.
    // One timer-1 tick: the foreground handshake, then a polling step.
    virtual void PollUnit();
    // Cycle state 2 seen by a poll; the designs act on the first one only.
    virtual void OnCycleStarted(const unitlink::SelectionRecord& selection);
    // One polling step: read the unit, light the panel, hand on a latched error, show messages.
    virtual void UpdateUserInfos();
    // The program recap of the design: the panoramic designs light the panel's recap lamps and the
    // program page; both write the program fields of the shot records.
    virtual void RefreshProgram();
    // Greys what the design cannot run in the technical menu's second branch (panel/ServiceMenu.cpp).
    virtual void AdjustServiceMenu(HMENU&) {}
    // The panel's layout for its design; false ends the panel at start-up with result 0.
    virtual bool LayoutPanel() { return false; }
    void RefreshSelection() override;
    virtual void OnNoxButton();

    // What pages, dialogs and the error processing call.
    HWND PanelWindow() const override { return GetHwnd(); }
    bool ShowMessage(UINT id) override;
    void ShowInfoCode(int number, int kind) override;
    bool SendUnitText(const char* text, bool hostArea) override;
    void PlayVoicePrompt(UINT id) override;
    bool SendCommand(uint8_t code) override;
    bool SendSelectCommand(int first, int second) override;
    // Ends the panel, and with it the service dialogs over it (see CancelServiceDialogs).
    void ClosePanel(int result) override;
    bool ServiceDialogOpen() const override { return serviceDialogOpen != 0; }

    // 0 when the panel is in the background (the tick then reads nothing), after telling the unit once.
    int CheckForeground();
    void RefreshPatient();
    void UpdateShotValues();
    void RefreshNoxButton();
    // Timer 2: the unit's waiting time, or the walking marker while it has none.
    void UpdateCoolingTime();
    // Cancel, Escape on a page and message 0x65F: ignored while an exposure cycle runs.
    void RequestClose();

    int rotationSlot = 0;
    int rotationTick = 0;
    int cycleFlag = 0;
    int panelActive = 0;
    uint8_t previewShown = 0;
    uint8_t inactiveSent = 0;
    uint8_t broughtToFront = 0;
    int serviceDialogOpen = 0;
    int programPageId = 0;
    int securityTimeOut = 0;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnCancel() override { RequestClose(); }
    void OnOK() override {}
    // The design's layout on the panel's skin (panel/PanelLayout.cpp).
    bool LayoutDesign(panel::Design design) {
        return panel::LayoutPanel(GetHwnd(), m_background.Get(), design, m_controls);
    }
    // Tells the host to acquire now.
    void NotifyHostCycleStarted();
    // The first ticks make the panel the foreground window, once.
    void BringToFrontOnce();

    // A control of the layout by identifier, as the class it was attached as; null when absent.
    template <typename Control> Control* Find(int id) const {
        return dynamic_cast<Control*>(platform::Window::FromHandle(GetItem(id)));
    }
    // A control of one of the pages, as the class it was attached as; null when absent.
    template <typename Control> Control* FindOnPage(UINT pageId, int id) {
        TStackedPageEntry* entry = GetPage(pageId);
        if (!entry || !entry->page)
            return nullptr;
        return dynamic_cast<Control*>(platform::Window::FromHandle(::GetDlgItem(entry->page->GetHwnd(), id)));
    }
    // Shows or hides the "x4" caption as the recap asks.
    void ApplyX4Caption(panel::X4Caption x4);

private:
    void StartUp();
    void DestroySequence();
    void AlignUnitWithMode();
    void ShowCycleMessage(int cycleState, const unitlink::SelectionRecord& selection);
    void RotateInformation(uint16_t state, uint16_t conditions);
    void HighlightCaption(int page);
    void SelectPage(int page, bool setSelector);
    void OnVoiceSwitch();
    void OnPreview(HGLOBAL block);
    void StopSecurityTimer();
    void SetDisplayText(int id, const std::string& text);
    bool OnSetCursor(HWND over);
    // A service dialog runs its own loop on the panel's thread, so the panel cannot end before it has:
    // each one shown is cancelled as the operator would, and the ticks of an ending panel cancel
    // whatever a run shows next.
    void CancelServiceDialogs();

    platform::UniqueBitmap m_background;
    panel::PanelControls m_controls;
    platform::UniqueIcon m_icon;
    HMENU m_technicalMenu = nullptr;
    HMENU m_userMenu = nullptr;
    panel::UnitErrorFilter m_unitErrors;
    // What the message and waiting-time displays show, kept whether or not the design has them.
    std::string m_shownMessage;
    std::string m_waitingText = "00:00";
    // A poll or waiting-time update in progress: a tick arriving from inside a box it opened waits.
    int m_timerWorkDepth = 0;
    bool m_securityRunning = false;
    // A preview came in since the unit's emission began.
    bool m_previewThisEmission = false;
    bool m_destroyed = false;
    bool m_ending = false;
};

class CDesignDialogV1 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
    void PollUnit() override;
    void AdjustServiceMenu(HMENU& menu) override;
};
class CDesignDialogV2 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
    void PollUnit() override;
    void OnCycleStarted(const unitlink::SelectionRecord& selection) override;
    void AdjustServiceMenu(HMENU& menu) override;
};
class CDesignDialogV3 : public CDesignDialog {
public:
    using CDesignDialog::CDesignDialog;
    bool LayoutPanel() override;
    // The cephalometric recap: the panel's view recap and the cephalometric page.
    void RefreshProgram() override;
    void AdjustServiceMenu(HMENU& menu) override;
    void OnCycleStarted(const unitlink::SelectionRecord& selection) override;
};
