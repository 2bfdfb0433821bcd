// The panel's state, start-up, polling cycle, operations for pages and dialogs, and close.
#include "panel/DesignDialog.h"

#include "panel/PreviewBlock.h"
#include "panel/UnitInfoFileWriter.h"

#include "controls/RegionFromMask.h"
#include "controls/SkinnedControl.h"
#include "controls/Displays.h"
#include "controls/StateControls.h"
#include "controls/StaticPreview.h"
#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "link/DisplayText.h"
#include "link/Jbus.h"
#include "nxlang/TextIds.h"
#include "panel/ServiceMenu.h"
#include "platform/Module.h"
#include "selection/CephalometricPage.h"
#include "selection/PageSupport.h"
#include "selection/Pages.h"
#include "selection/PatientPage.h"
#include "selection/ProgramPage.h"
#include "selection/ParameterPage.h"
#include "support/ErrorProcessing.h"
#include "support/EventLog.h"
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <mmsystem.h>

#include <cstdio>
#include <cstring>

namespace {

using controls::CAfficheur2Etats;
using controls::CAfficheur3Etats;
using controls::CBoutonRond;
using controls::CJoliAfficheur;
using controls::CSpaceDisplay;

// Panel timers.
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT_PTR kWaitTimer = 2;
constexpr UINT_PTR kSecurityTimer = 4;
constexpr UINT kPollPeriodMs = 200;
constexpr UINT kWaitPeriodMs = 1000;

// Command words of the panel.
constexpr uint8_t kCommandPanelActive = 0x85;
constexpr uint8_t kCommandPanelInactive = 0x86;
constexpr uint16_t kCommandMajor3Announce = 0x0087;
constexpr uint16_t kCommandReadyClicked = 0x00A0;
constexpr uint8_t kCommandReset = 0x09;
constexpr uint16_t kCommandLaserToggle = 0x020A;
constexpr uint16_t kCommandNoxOn = 0x0107;
constexpr uint16_t kCommandNoxOff = 0x0007;

// Latched by the panel itself.
constexpr int32_t kErrorSecurityTimeOut = 201;
constexpr int32_t kErrorAcquisitionFailed = 202;
constexpr uint16_t kAcquisitionDone = 1;
constexpr uint16_t kAcquisitionFailed = 2;

// The technical-access line of the event log.
constexpr int kLogInformation = 3;
constexpr int kTechnicalAccessLine = 3062;

// Shot-record fields cleared at start-up, and the cephalometric byte cleared too.
constexpr size_t kPanoMilliAmpsOffset = 37;
constexpr size_t kPanoDoseKindOffset = 99;
constexpr size_t kCephClearedByte = 288;
constexpr uint32_t kDoseMilligray = 1;
constexpr uint32_t kDoseAreaProduct = 2;
constexpr UINT kDoseMilligrayTip = 4080, kDoseAreaProductTip = 4081;

// Caption highlight of the selected page: red 230, green 250, blue 255.
constexpr COLORREF kCaptionHighlight = RGB(230, 250, 255);
constexpr int kCaptions[] = {panelid::kCaptionProgram, panelid::kCaptionPatient, panelid::kCaptionParameters};

// Keys over which the hand (or, while the unit is busy, the wait) cursor shows.
constexpr int kKeys[] = {IDCANCEL,
                         panelid::kVoiceSwitch,
                         panelid::kInformation,
                         panelid::kLaser,
                         panelid::kReset,
                         panelid::kNox,
                         panelid::kPageSelector,
                         panelid::kCaptionProgram,
                         panelid::kCaptionPatient,
                         panelid::kCaptionParameters};

constexpr char kWithVocal[] = "WithVocal";
constexpr char kStartPgm[] = "StartPGM";
constexpr char kSecurityTimeOut[] = "SecurityTimeOut";

// The recap's controls: the "x4" caption and the cephalometric recap of the panel, the program page's
// cephalometry and four-image keys, the cephalometric page's angle display.
constexpr int kCaptionX4 = 1075;
constexpr int kRecapCephalometric = 1120;
constexpr int kPageKeyCephalometry = 1018;
constexpr int kPageKeyFourImages = 1038;
constexpr int kPageAngleDisplay = 1118;
// The patient page's keys.
constexpr int kPatientAdult = 1011, kPatientChild = 1012, kPatientSlim = 1013, kPatientNormal = 1014,
              kPatientLarge = 1015;

// The emission beep's poll counter, shared by every panel of the module.
int g_beepCount = 0;

class SystemSound : public CPanelSound {
public:
    void PlayPrompt(UINT id) override {
        HINSTANCE from = platform::LanguageModule() ? platform::LanguageModule() : platform::ResourceModule();
        ::PlaySoundA(MAKEINTRESOURCEA(id), from, SND_RESOURCE | SND_ASYNC | SND_NOSTOP);
    }
    void Beep() override { ::MessageBeep(0xFFFFFFFF); }
};
SystemSound g_systemSound;
CPanelSound* g_sound = &g_systemSound;

// Counts a timer handler on the stack, so that a tick delivered inside a box it opened does not run.
class TimerWork {
public:
    explicit TimerWork(int& depth) : m_depth(depth) { ++m_depth; }
    ~TimerWork() { --m_depth; }
    TimerWork(const TimerWork&) = delete;
    TimerWork& operator=(const TimerWork&) = delete;

private:
    int& m_depth;
};

} // namespace

void SetPanelSound(CPanelSound* sound) noexcept {
    g_sound = sound ? sound : &g_systemSound;
}

CDesignDialog::CDesignDialog(HWND parent) : TStackedDialog(kPagePlaceholder, kPanelTemplate, parent) {}

CDesignDialog::~CDesignDialog() {
    if (m_technicalMenu)
        ::DestroyMenu(m_technicalMenu);
    if (m_userMenu)
        ::DestroyMenu(m_userMenu);
}

TStackedPage* CDesignDialog::CreatePage(UINT id) {
    switch (id) {
    case kPageProgram:
        return new CPage1(this);
    case kPagePatient:
        return new CPage2(this);
    case kPageParameters:
        return new CPage3(this);
    case kPageCephalometric:
        return new CPage4(this);
    default:
        return nullptr;
    }
}

// ---- Start-up ------------------------------------------------------------------------------------

BOOL CDesignDialog::OnInitDialog() {
    TStackedDialog::OnInitDialog();
    StartUp();
    return TRUE;
}

void CDesignDialog::StartUp() {
    CLumen70App& app = theApp();
    HWND wnd = GetHwnd();
    m_background.Reset(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(kPanelBackground), IMAGE_BITMAP, 0, 0, 0)));
    m_icon.Reset(static_cast<HICON>(::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(kPanelIcon),
                                                 IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    if (m_icon) {
        ::SendMessageA(wnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
        ::SendMessageA(wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.Get()));
    }
    previewShown = 0;
    m_ending = false;
    inactiveSent = 0;
    for (auto [menu, id] :
         {std::pair{&m_technicalMenu, nxlang::Menu::Technical}, {&m_userMenu, nxlang::Menu::User}}) {
        if (*menu)
            ::DestroyMenu(*menu);
        *menu = platform::LoadMenuResource(id);
    }
    if (uint8_t* pano = app.panoRecord.get()) {
        std::memset(pano + 0, 0, 3);   // program code and the name's first byte
        std::memset(pano + 32, 0, 19); // flag, kV, mA, time, the 32-bit value and the section count
    }

    if (!LayoutPanel()) {
        EndDialog(0);
        return;
    }
    const bool panoramic = app.mode != 0;
    programPageId = panoramic ? kPageProgram : kPageCephalometric;
    for (UINT id : {kPageProgram, kPagePatient, kPageParameters, kPageCephalometric})
        AddPage(id, 0, 0, 0);
    SetPage(static_cast<UINT>(programPageId));
    ::SetTimer(wnd, kPollTimer, kPollPeriodMs, nullptr);
    ::SetTimer(wnd, kWaitTimer, kWaitPeriodMs, nullptr);
    SetDisplayText(panelid::kWaitingTime, m_waitingText);

    support::SettingsKey module(support::SystemRegistry(), support::kLumenPath, support::SettingsKey::Read);
    int32_t withVocal = 0;
    if (module.IsOpen())
        module.ReadNumber(kWithVocal, withVocal, 0);
    if (auto* voice = Find<CAfficheur2Etats>(panelid::kVoiceSwitch))
        voice->SetState(withVocal != 0 ? 1 : 0);

    // A closed link is not touched: a request on it would latch a communication failure that no
    // poll will ever clear.
    if (host::LinkIsOpen()) {
        AlignUnitWithMode();
        if (uint8_t* ceph = app.cephRecord.get())
            ceph[kCephClearedByte] = 0;
        RefreshSelection();
    } else if (uint8_t* ceph = app.cephRecord.get()) {
        ceph[kCephClearedByte] = 0;
    }
    HighlightCaption(0);
    host::SaveRestoreFileIfMissing();

    int32_t timeOut = 0;
    if (module.IsOpen())
        module.ReadNumber(kSecurityTimeOut, timeOut, 0);
    securityTimeOut = panel::SecurityTimeOutMs(timeOut);
}

void CDesignDialog::AlignUnitWithMode() {
    CLumen70App& app = theApp();
    unitlink::SelectionRecord selection;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        link.Get()->ReadSelection(&selection);
        if (app.unitMajor3)
            link.Get()->WriteCommand(kCommandMajor3Announce);
    }
    int32_t startPgm = 0;
    support::ReadNumberOnce(support::SystemRegistry(), support::kPanoPath, kStartPgm, startPgm, 0);
    if (auto select =
            panel::StartAlignment(static_cast<uint32_t>(startPgm), selection.ProgramCode(), app.mode))
        SendSelectCommand(select->first, select->second);
}

// ---- Timers and polling --------------------------------------------------------------------------

void CDesignDialog::OnTimer(UINT_PTR id) {
    HWND wnd = GetHwnd();
    switch (id) {
    case kPollTimer:
    case kWaitTimer: {
        if (m_ending) {
            CancelServiceDialogs();
            return;
        }
        // A box or dialog opened from a poll runs its own loop: the panel's ticks wait for its end.
        if (m_timerWorkDepth > 0 || m_destroyed || !host::LinkIsOpen())
            return;
        TimerWork work(m_timerWorkDepth);
        ::KillTimer(wnd, id);
        if (id == kPollTimer)
            PollUnit();
        else
            UpdateCoolingTime();
        if (!m_destroyed)
            ::SetTimer(wnd, id, id == kPollTimer ? kPollPeriodMs : kWaitPeriodMs, nullptr);
        return;
    }
    case kSecurityTimer:
        StopSecurityTimer();
        theApp().RecordError(kErrorSecurityTimeOut);
        return;
    default:
        return;
    }
}

void CDesignDialog::StopSecurityTimer() {
    if (m_securityRunning)
        ::KillTimer(GetHwnd(), kSecurityTimer);
    m_securityRunning = false;
}

void CDesignDialog::BringToFrontOnce() {
    if (broughtToFront)
        return;
    HWND wnd = GetHwnd();
    ::SetForegroundWindow(wnd);
    ::BringWindowToTop(wnd);
    if (::GetForegroundWindow() == wnd)
        broughtToFront = 1;
}

void CDesignDialog::PollUnit() {
    BringToFrontOnce();
    if (previewShown) {
        // The host's acquisition owns the screen now: the unit is told once, polling goes on.
        if (!inactiveSent) {
            SendCommand(kCommandPanelInactive);
            inactiveSent = 1;
        }
        UpdateUserInfos();
        return;
    }
    if (CheckForeground())
        UpdateUserInfos();
}

void CDesignDialogV1::PollUnit() {
    BringToFrontOnce();
    if (CheckForeground())
        UpdateUserInfos();
}

void CDesignDialogV2::PollUnit() {
    BringToFrontOnce();
    if (CheckForeground())
        UpdateUserInfos();
}

int CDesignDialog::CheckForeground() {
    if (serviceDialogOpen || cycleFlag) {
        panelActive = 1;
        return 1;
    }
    if (::GetForegroundWindow() == GetHwnd()) {
        if (!panelActive) {
            SendCommand(kCommandPanelActive);
            panelActive = 1;
        }
        return 1;
    }
    if (panelActive) {
        SendCommand(kCommandPanelInactive);
        panelActive = 0;
    }
    return 0;
}

void CDesignDialog::UpdateUserInfos() {
    CLumen70App& app = theApp();
    uint16_t state = 0, error = 0, conditions = 0;
    unitlink::SelectionRecord selection;
    bool errorRead = false, allRead = false;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        unitlink::CJbus* unit = link.Get();
        // A unit that stopped answering costs one request's time-out, not four.
        if (unit->ReadUnitState(&state)) {
            errorRead = unit->ReadUnitError(&error);
            allRead = errorRead && unit->ReadUnitConditions(&conditions) && unit->ReadSelection(&selection);
        }
    }
    if (errorRead && m_unitErrors.Accept(error))
        app.RecordError(error);

    if (auto* ready = Find<CAfficheur2Etats>(panelid::kReady))
        ready->SetState((state & panel::kStateReady) ? 1 : 0);
    g_beepCount = panel::NextBeepCount(g_beepCount);
    const int family = selection.ProgramFamily();
    if (state & panel::kStateEmission) {
        // The timer waits for the host's first preview of this emission: once one came in, the
        // poll does not arm it again for the rest of the emission.
        if (panel::IsPanoramicFamily(family) && securityTimeOut != 0 && !m_securityRunning &&
            !m_previewThisEmission) {
            ::SetTimer(GetHwnd(), kSecurityTimer, static_cast<UINT>(securityTimeOut), nullptr);
            m_securityRunning = true;
        }
        if (auto* emission = Find<CAfficheur2Etats>(panelid::kEmission))
            emission->SetState(1);
        if (g_beepCount == panel::kBeepPeriod - 1)
            g_sound->Beep();
    } else {
        m_previewThisEmission = false;
        if (auto* emission = Find<CAfficheur2Etats>(panelid::kEmission))
            emission->SetState(0);
    }
    if (auto* laser = Find<CAfficheur2Etats>(panelid::kLaser))
        laser->SetState((state & panel::kStateLaser) ? 1 : 0);

    if (panel::TechnicalAccessGranted(state)) {
        if (!app.technicalAccess) {
            app.technicalAccess = 1;
            ModuleLog().WriteLogEntry(kLogInformation, "Access to the technical menu",
                                      "CDesignDialog::UpdateUserInfos", kTechnicalAccessLine);
        }
    } else if (app.technicalAccess) {
        app.technicalAccess = 0;
    }

    // The shot values would only add requests to a link that has just failed.
    if (allRead)
        UpdateShotValues();

    const int cycle = panel::CycleState(state);
    switch (panel::CycleStepOf(cycle)) {
    case panel::CycleStep::Ended:
        if (cycleFlag) {
            PlayVoicePrompt(nxlang::Prompt::CycleEnded);
            cycleFlag = 0;
            host::RefreshShotRecords();
        }
        break;
    case panel::CycleStep::Cleared:
        cycleFlag = 0;
        break;
    case panel::CycleStep::Started:
        app.unitBusy = 1;
        OnCycleStarted(selection);
        break;
    case panel::CycleStep::None:
        break;
    }

    if (app.GetLatchedError() != 0) {
        app.unitBusy = 0;
        support::ProcessUnitError(*this);
        return;
    }
    if (cycle != 0) {
        ShowCycleMessage(cycle, selection);
        return;
    }
    rotationTick = panel::NextRotationTick(rotationTick);
    if (rotationTick == 0)
        RotateInformation(state, conditions);
}

void CDesignDialog::ShowCycleMessage(int cycleState, const unitlink::SelectionRecord& selection) {
    ShowInfoCode(0, 1);
    if (cycleState == 1)
        ShowMessage(nxlang::Info::PreparingExposure);
    else if (cycleState == 2)
        ShowMessage(selection.Nox() == 0 ? nxlang::Info::CycleRunning : nxlang::Info::ExposureRunning);
}

void CDesignDialog::RotateInformation(uint16_t state, uint16_t conditions) {
    const int start = rotationSlot;
    bool shown = false;
    do {
        const int slot = rotationSlot;
        if (slot == panel::kUserTextSlot) {
            const uint8_t* text = theApp().userText;
            // The host's text may lack its terminating 0: never read beyond its 256 bytes.
            const size_t length = strnlen(reinterpret_cast<const char*>(text), kUserTextSize);
            m_shownMessage.assign(reinterpret_cast<const char*>(text), length);
            SetDisplayText(panelid::kMessage, m_shownMessage);
            SendUnitText(m_shownMessage.c_str(), false);
            ShowInfoCode(0, 1);
            shown = true;
        } else if (auto info = panel::InfoSlot(slot, conditions)) {
            ShowMessage(info->message);
            ShowInfoCode(info->code, 1);
            if (slot == panel::kSoftwareActiveSlot && panelActive == 1 && !previewShown)
                SendCommand(kCommandPanelActive);
            if (info->prompt != 0 && (state & panel::kStateVoice))
                PlayVoicePrompt(info->prompt);
            shown = true;
        }
        rotationSlot = (rotationSlot + 1) % panel::kInfoSlots;
    } while (!shown && rotationSlot != start);
}

// ---- The exposure cycle --------------------------------------------------------------------------

void CDesignDialog::NotifyHostCycleStarted() {
    host::UpdateMirrorFromUnit();
    if (HostNotifyFunction notify = theApp().hostNotify.load())
        notify(kHostEventCycleStarted);
}

void CDesignDialog::OnCycleStarted(const unitlink::SelectionRecord& selection) {
    if (cycleFlag)
        return;
    PlayVoicePrompt(nxlang::Prompt::CycleStarted);
    cycleFlag = 1;
    // Families whose exposure makes an image the host acquires.
    static constexpr bool kAcquiring[16] = {true, true, true, true, false, false, false, false,
                                            true, true, true, true, false, false, false, false};
    if (!serviceDialogOpen && selection.Nox() != 0 && kAcquiring[selection.ProgramFamily()])
        NotifyHostCycleStarted();
}

void CDesignDialogV2::OnCycleStarted(const unitlink::SelectionRecord&) {
    if (cycleFlag)
        return;
    PlayVoicePrompt(nxlang::Prompt::CycleStarted);
    cycleFlag = 1;
    uint16_t status = 0;
    {
        host::LinkSession link;
        if (link.IsOpen())
            link.Get()->ReadAcquisitionStatus(&status);
    }
    if (status == kAcquisitionDone)
        NotifyHostCycleStarted();
    else if (status == kAcquisitionFailed)
        theApp().RecordError(kErrorAcquisitionFailed);
}

void CDesignDialogV3::OnCycleStarted(const unitlink::SelectionRecord&) {
    if (cycleFlag)
        return;
    PlayVoicePrompt(nxlang::Prompt::CycleStarted);
    cycleFlag = 1;
    NotifyHostCycleStarted();
}

// ---- Displays ------------------------------------------------------------------------------------

void CDesignDialog::SetDisplayText(int id, const std::string& text) {
    if (auto* display = Find<CJoliAfficheur>(id))
        display->SetText(text);
}

// ---- Program recap -------------------------------------------------------------------------------

void CDesignDialog::ApplyX4Caption(panel::X4Caption x4) {
    if (x4 == panel::X4Caption::Keep)
        return;
    if (HWND caption = GetItem(kCaptionX4))
        ::ShowWindow(caption, x4 == panel::X4Caption::Show ? SW_SHOW : SW_HIDE);
}

void CDesignDialog::RefreshProgram() {
    CLumen70App& app = theApp();
    panel::PanoramicRecap recap;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        unitlink::SelectionRecord selection;
        link.Get()->ReadSelection(&selection);
        recap = panel::PanoramicRecapOf(selection.ProgramCode());
        // The host copies the records from its own thread under this lock: the program fields change
        // under it too, never half-written beside the copy.
        panel::WritePanoramicFields(app.panoRecord.get(), recap,
                                    recap.nameId ? platform::LoadText(*recap.nameId) : std::string());
    }
    for (const panel::RecapPairControls& pair : panel::kRecapPairs) {
        const int lit = (recap.pairs & pair.pair) ? 1 : 0;
        if (auto* lamp = Find<CAfficheur2Etats>(pair.panelLamp))
            lamp->SetState(lit);
        if (auto* key = FindOnPage<CAfficheur2Etats>(kPageProgram, pair.pageKey))
            key->SetState(lit);
    }
    if (auto* cephalometry = FindOnPage<CAfficheur2Etats>(kPageProgram, kPageKeyCephalometry))
        cephalometry->SetState(0);
    if (auto* fourImages = FindOnPage<CBoutonRond>(kPageProgram, kPageKeyFourImages))
        fourImages->SetState(recap.tmjImages);
    ApplyX4Caption(recap.x4);
}

void CDesignDialogV3::RefreshProgram() {
    CLumen70App& app = theApp();
    auto* page = dynamic_cast<CPage4*>(GetPage(kPageCephalometric) ? GetPage(kPageCephalometric)->page : nullptr);
    const int angle = page ? page->Angle() : 0;
    panel::CephalometricRecap recap;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        unitlink::SelectionRecord selection;
        link.Get()->ReadSelection(&selection);
        recap = panel::CephalometricRecapOf(selection.ProgramCode());
        panel::WriteCephalometricFields(app.panoRecord.get(), app.cephRecord.get(), recap,
                                        recap.nameId ? platform::LoadText(*recap.nameId) : std::string(), angle);
    }
    for (int id : panel::kCephalometricKeys)
        if (auto* key = FindOnPage<CAfficheur2Etats>(kPageCephalometric, id))
            key->SetState(id == recap.litKey.value_or(0) ? 1 : 0);
    if (recap.recapState)
        if (auto* views = Find<controls::CAfficheur6Etats>(kRecapCephalometric))
            views->SetState(*recap.recapState);
    if (recap.angleHidden)
        if (auto* display = FindOnPage<controls::CSpecialDisplay>(kPageCephalometric, kPageAngleDisplay))
            display->SetState(*recap.angleHidden);
    ApplyX4Caption(recap.x4);
}

void CDesignDialog::RefreshSelection() {
    RefreshProgram();
    RefreshPatient();
    UpdateShotValues();
    RefreshNoxButton();
}

void CDesignDialog::UpdateShotValues() {
    CLumen70App& app = theApp();
    uint8_t copy[kPanoRecordSize] = {};
    if (!host::LinkIsOpen() || !host::RefreshShotRecordsInto(copy))
        return;
    const bool panoramic = app.mode != 0;
    float milliAmps = 0.0f;
    std::memcpy(&milliAmps, copy + kPanoMilliAmpsOffset, sizeof milliAmps);
    uint32_t doseKind = 0;
    std::memcpy(&doseKind, copy + kPanoDoseKindOffset, sizeof doseKind);
    const std::string kv = panel::FormatKv(app.shotKv);
    const std::string ma = panel::FormatMilliAmps(milliAmps);
    const std::string time = panel::FormatSeconds(app.shotTime, panoramic);
    const bool dose = doseKind == kDoseMilligray || doseKind == kDoseAreaProduct;
    const std::string doseText = dose ? panel::FormatDose(app.shotDose) : panel::FormatFixed(0.0, 2);
    SetDisplayText(panelid::kKv, kv);
    SetDisplayText(panelid::kMilliAmps, ma);
    SetDisplayText(panelid::kTime, time);
    SetDisplayText(panelid::kDose, doseText);
    // The parameter page shows the same values beside its keys.
    if (TStackedPageEntry* entry = GetPage(kPageParameters))
        if (auto* page = dynamic_cast<CPage3*>(entry->page))
            page->SetValueTexts(kv, ma, time, doseText);
    // The tooltip names the unit the dose is in; an unknown kind keeps the last one.
    if (dose)
        panel::SetControlTooltip(GetHwnd(), panelid::kDose,
                                 doseKind == kDoseMilligray ? kDoseMilligrayTip : kDoseAreaProductTip);
}

void CDesignDialog::RefreshPatient() {
    unitlink::SelectionRecord selection;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        link.Get()->ReadSelection(&selection);
    }
    auto* adult = Find<CAfficheur2Etats>(panelid::kAgeAdult);
    auto* child = Find<CAfficheur2Etats>(panelid::kAgeChild);
    auto* build = Find<CAfficheur3Etats>(panelid::kBuild);
    if (adult)
        adult->SetState(selection.Age() == 1 ? 1 : 0);
    if (child)
        child->SetState(selection.Age() == 0 ? 1 : 0);
    if (build)
        build->SetState(selection.Build() <= 2 ? selection.Build() : 0);
    // The patient page's keys: the age and the build the unit reports, none for a value it has no key for.
    for (const auto& [key, lit] : {std::pair{kPatientAdult, selection.Age() == 1},
                                   {kPatientChild, selection.Age() == 0},
                                   {kPatientSlim, selection.Build() == 0},
                                   {kPatientNormal, selection.Build() == 1},
                                   {kPatientLarge, selection.Build() == 2}})
        if (auto* button = FindOnPage<CAfficheur2Etats>(kPagePatient, key))
            button->SetState(lit ? 1 : 0);
}

void CDesignDialog::RefreshNoxButton() {
    unitlink::SelectionRecord selection;
    {
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        link.Get()->ReadSelection(&selection);
    }
    if (selection.Nox() <= 2)
        if (auto* nox = Find<CBoutonRond>(panelid::kNox))
            nox->SetState(selection.Nox());
}

void CDesignDialog::UpdateCoolingTime() {
    uint16_t seconds = 0;
    {
        host::LinkSession link;
        if (!link.IsOpen() || !link.Get()->ReadCoolingTime(&seconds))
            return;
    }
    m_waitingText = seconds == panel::kNoWaitingTime ? panel::NextWaitingMarker(m_waitingText)
                                                     : panel::FormatWaitingTime(seconds);
    SetDisplayText(panelid::kWaitingTime, m_waitingText);
}

// ---- Operations for pages, dialogs and the error processing ---------------------------------------

bool CDesignDialog::SendCommand(uint8_t code) {
    host::LinkSession link;
    if (!link.IsOpen() || !link.Get()->WriteCommand(code))
        return false;
    RefreshSelection(); // still under the lock, as every page command
    return true;
}

bool CDesignDialog::SendSelectCommand(int first, int second) {
    host::LinkSession link;
    if (!link.IsOpen() || !link.Get()->WriteCommand(panel::SelectWord(first, second)))
        return false;
    RefreshSelection();
    return true;
}

void CDesignDialog::PlayVoicePrompt(UINT id) {
    auto* voice = Find<CAfficheur2Etats>(panelid::kVoiceSwitch);
    if (voice && voice->GetState() != 0)
        g_sound->PlayPrompt(id);
}

void CDesignDialog::ShowInfoCode(int number, int kind) {
    unitlink::DisplayCodeText code;
    std::string shown;
    if (number != 0) {
        char text[16];
        // The code field holds three characters: a number beyond 99 keeps its last two digits.
        std::snprintf(text, sizeof text, kind == 1 ? "I%.2d" : "E%.2d", (number % 100 + 100) % 100);
        shown = text;
    }
    const std::string field = number != 0 ? shown : std::string(3, ' ');
    std::memcpy(code.data(), field.data(), 3);
    code.bytes[3] = 0;
    host::LinkSession link;
    SetDisplayText(panelid::kCode, shown);
    if (link.IsOpen())
        link.Get()->WriteDisplayCode(&code);
}

bool CDesignDialog::ShowMessage(UINT id) {
    const std::string panelText =
        platform::LoadText(nxlang::InfoPanelText(static_cast<nxlang::ResourceId>(id)));
    if (panelText == m_shownMessage)
        return false;
    m_shownMessage = panelText;
    SetDisplayText(panelid::kMessage, panelText);
    SendUnitText(platform::LoadText(nxlang::InfoUnitLine(static_cast<nxlang::ResourceId>(id))).c_str(),
                 false);
    return true;
}

bool CDesignDialog::SendUnitText(const char* text, bool hostArea) {
    const size_t length = text ? strnlen(text, unitlink::kUnitTextCharacters) : 0;
    const unitlink::UnitTextArea area =
        unitlink::ToUnitDisplayText(std::string_view(text ? text : "", length));
    host::LinkSession link;
    if (!link.IsOpen())
        return false;
    return hostArea ? link.Get()->WriteHostText(&area) : link.Get()->WriteUnitText(&area);
}

void CDesignDialog::OnNoxButton() {
    if (theApp().mode == 0)
        return;
    auto* nox = Find<CBoutonRond>(panelid::kNox);
    const uint16_t word = (nox ? nox->GetState() : 0) == 0 ? kCommandNoxOn : kCommandNoxOff;
    host::LinkSession link;
    if (link.IsOpen() && link.Get()->WriteCommand(word))
        RefreshSelection();
}

// ---- Keys, pages, cursor, close ------------------------------------------------------------------

void CDesignDialog::HighlightCaption(int page) {
    if (page < 0 || page > 2)
        return;
    for (int i = 0; i < 3; ++i)
        if (auto* caption = Find<CSpaceDisplay>(kCaptions[i]))
            caption->SetTextColour(i == page ? kCaptionHighlight : ::GetSysColor(COLOR_BTNTEXT));
}

void CDesignDialog::SelectPage(int page, bool setSelector) {
    if (page < 0 || page > 2)
        return;
    HighlightCaption(page);
    if (setSelector)
        if (auto* selector = Find<CBoutonRond>(panelid::kPageSelector))
            selector->SetState(page);
    const UINT pages[] = {static_cast<UINT>(programPageId), kPagePatient, kPageParameters};
    SetPage(pages[page]);
}

void CDesignDialog::OnVoiceSwitch() {
    auto* voice = Find<CAfficheur2Etats>(panelid::kVoiceSwitch);
    const DWORD on = voice && voice->GetState() != 0 ? 1 : 0;
    const std::string subkey = support::SubkeyFor(support::RegistryRoot::CurrentUser, support::kLumenPath);
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        if (voice)
            voice->SetState(0);
        return;
    }
    platform::UniqueRegKey owned(key);
    ::RegSetValueExA(key, kWithVocal, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
}

bool CDesignDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case panelid::kVoiceSwitch:
        OnVoiceSwitch();
        return true;
    case panelid::kReady: {
        host::LinkSession link;
        if (link.IsOpen())
            link.Get()->WriteCommand(kCommandReadyClicked);
        return true;
    }
    case panelid::kReset:
        SendCommand(kCommandReset);
        return true;
    case panelid::kLaser: {
        host::LinkSession link;
        if (link.IsOpen() && link.Get()->WriteCommand(kCommandLaserToggle))
            RefreshSelection();
        return true;
    }
    case panelid::kNox:
        OnNoxButton();
        return true;
    case panelid::kPageSelector:
        if (auto* selector = Find<CBoutonRond>(panelid::kPageSelector))
            SelectPage(selector->GetState(), false);
        return true;
    case panelid::kCaptionProgram:
    case panelid::kCaptionPatient:
    case panelid::kCaptionParameters:
        SelectPage(LOWORD(wParam) - panelid::kCaptionProgram, true);
        return true;
    case panelid::kInformation:
        panel::OpenServiceMenu(*this, GetItem(panelid::kInformation), m_userMenu, m_technicalMenu);
        return true;
    default:
        return panel::RunServiceCommand(*this, LOWORD(wParam));
    }
}

void CDesignDialog::ClosePanel(int result) {
    EndDialog(result);
    m_ending = true;
    CancelServiceDialogs();
}

void CDesignDialog::CancelServiceDialogs() {
    if (!serviceDialogOpen)
        return;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND wnd, LPARAM panel) {
            char name[16] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            // Boxes (their text is item 0xFFFF) stay for the operator to read; a disabled dialog waits
            // for the one it opened.
            if (wnd != reinterpret_cast<HWND>(panel) && std::strcmp(name, "#32770") == 0 &&
                ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd) && !::GetDlgItem(wnd, 0xFFFF))
                ::PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(GetHwnd()));
}

void CDesignDialog::RequestClose() {
    if (cycleFlag)
        return;
    EndDialog(IDCANCEL);
}

bool CDesignDialog::OnSetCursor(HWND over) {
    if (!selection::SetPageCursor(GetHwnd(), over, kKeys))
        return false;
    SetMessageResult(TRUE);
    return true;
}

void CDesignDialog::OnPreview(HGLOBAL block) {
    if (!previewShown) {
        previewShown = 1;
        if (HWND preview = GetItem(panelid::kPreview))
            ::ShowWindow(preview, SW_SHOW);
    }
    StopSecurityTimer();
    m_previewThisEmission = true;
    // The block is another program's: an invalid handle gives no size and no pointer, and its header
    // must describe no more than the block holds before any of it is used. The block stays the sender's.
    const SIZE_T size = block ? ::GlobalSize(block) : 0;
    const auto* bytes = static_cast<const uint8_t*>(size ? ::GlobalLock(block) : nullptr);
    if (!bytes)
        return;
    HBITMAP bitmap = nullptr;
    if (const auto layout = panel::CheckPreviewBlock(bytes, size)) {
        HDC screen = ::GetDC(nullptr);
        bitmap = ::CreateDIBitmap(screen, reinterpret_cast<const BITMAPINFOHEADER*>(bytes), CBM_INIT,
                                  bytes + layout->pixelOffset, reinterpret_cast<const BITMAPINFO*>(bytes),
                                  DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
    }
    ::GlobalUnlock(block);
    if (!bitmap)
        return;
    auto* preview = Find<controls::CStaticPreview>(panelid::kPreview);
    if (!preview) {
        ::DeleteObject(bitmap);
        return;
    }
    const bool cephalometric = theApp().mode == 0;
    DWORD priority = 0;
    if (cephalometric) {
        priority = ::GetPriorityClass(::GetCurrentProcess());
        ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
    HBITMAP previous = preview->SetPreview(bitmap);
    if (cephalometric && priority != 0)
        ::SetPriorityClass(::GetCurrentProcess(), priority);
    if (previous)
        ::DeleteObject(previous);
}

void CDesignDialog::DestroySequence() {
    HWND wnd = GetHwnd();
    if (host::LinkIsOpen())
        SendCommand(kCommandPanelInactive);
    m_destroyed = true;
    ::KillTimer(wnd, kPollTimer);
    ::KillTimer(wnd, kWaitTimer);
    StopSecurityTimer();
    if (auto* preview = Find<controls::CStaticPreview>(panelid::kPreview))
        if (HBITMAP shown = preview->SetPreview(nullptr))
            ::DeleteObject(shown);
    for (HMENU* menu : {&m_technicalMenu, &m_userMenu}) {
        if (*menu)
            ::DestroyMenu(*menu);
        *menu = nullptr;
    }
    panel::WriteUnitInformationFile();
}

INT_PTR CDesignDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (!m_background)
            return FALSE;
        {
            // The skin is the panel's whole surface, copied 1:1.
            HDC dc = reinterpret_cast<HDC>(wParam);
            platform::UniqueMemoryDc memory(::CreateCompatibleDC(dc));
            platform::SelectObjectScope select(memory.Get(), m_background.Get());
            ::BitBlt(dc, 0, 0, kPanelWidth, kPanelHeight, memory.Get(), 0, 0, SRCCOPY);
        }
        SetMessageResult(1);
        return TRUE;
    case WM_PAINT:
        if (::IsIconic(GetHwnd()) && m_icon) {
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(GetHwnd(), &paint);
            RECT client{};
            ::GetClientRect(GetHwnd(), &client);
            const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
            ::DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, m_icon.Get());
            ::EndPaint(GetHwnd(), &paint);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_icon.Get());
    case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wParam)) ? TRUE : FALSE;
    case kMsgPageCancel:
        RequestClose();
        return TRUE;
    case kMsgHostPreview:
        OnPreview(reinterpret_cast<HGLOBAL>(wParam));
        SetMessageResult(0);
        return TRUE;
    case kMsgHostEndAcquisition:
    case kMsgHostEndAcquisition2:
        StopSecurityTimer();
        if (theApp().mode == 0)
            ::Sleep(5000); // the cephalometric sensor finishes its transfer
        EndDialog(1);
        SetMessageResult(0);
        return TRUE;
    case WM_DESTROY:
        // The panel's own sequence runs while its pages still exist.
        DestroySequence();
        return TStackedDialog::DialogProc(msg, wParam, lParam);
    default:
        return TStackedDialog::DialogProc(msg, wParam, lParam);
    }
}

bool CDesignDialogV1::LayoutPanel() { return LayoutDesign(panel::Design::V1); }
bool CDesignDialogV2::LayoutPanel() { return LayoutDesign(panel::Design::V2); }
bool CDesignDialogV3::LayoutPanel() { return LayoutDesign(panel::Design::V3); }
