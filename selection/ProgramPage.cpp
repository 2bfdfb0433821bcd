// The program page: its keys on the skin, the program words they send, the delayed prompt of the
// segment combination and the cursor rule.
#include "selection/ProgramPage.h"

#include "controls/Controls.h"
#include "panel/DesignDialog.h"
#include "resources/PageIds.h"
#include "selection/PageRules.h"

namespace {

using controls::CBouton2Etats;
using controls::CBoutonRond;

struct Key {
    int id;
    double fx, fy;
    uint16_t bitmaps[4];
};
constexpr Key kToggles[] = {
    {IDC_BUTTON_ATMDROITE, 0.2595, 0.1662, {198, 210, 199, 210}},
    {IDC_BUTTON_ATMGAUCHE, 0.016, 0.1662, {201, 200, 202, 200}},
    {IDC_BUTTON_INCISIVE, 0.1325, 0.181, {208, 207, 209, 207}},
    {IDC_BUTTON_MOLAIREDROITE, 0.1846, 0.1798, {235, 236, 234, 236}},
    {IDC_BUTTON_MOLAIREGAUCHE, 0.0576, 0.1798, {212, 211, 213, 211}},
    {IDC_BUTTON_SINUS, 0.1169, 0.1029, {215, 214, 197, 214}},
    {IDC_CEPHALO, 0.2573, 0.0498, {266, 142, 265, 142}},
};
constexpr double kFourImagesFx = 0.0199, kFourImagesFy = 0.0586;
constexpr uint16_t kFourImagesBitmaps[6] = {203, 204, 205, 204, 206, 204};
constexpr double kSideMarkerFx = 0.2973, kSideMarkerFy = 0.3148;
constexpr COLORREF kSideMarkerColour = 0xFFFAE6;
constexpr UINT kFourImagesTip = 4597;

// Program words of the keys and the prompt once the unit took them.
constexpr uint16_t kWordTmj = selection::CommandWord(selection::kGroupProgram, 0x01);
constexpr uint16_t kWordTmjFour = selection::CommandWord(selection::kGroupProgram, 0x11);
constexpr uint16_t kWordSinus = selection::CommandWord(selection::kGroupProgram, 0x02);
constexpr uint16_t kWordCephalometry = selection::CommandWord(selection::kGroupProgram, 0x04);
constexpr UINT kPromptTmj = 4006, kPromptTmjFour = 4007, kPromptSinus = 4016;

constexpr UINT_PTR kSegmentTimer = 1;
constexpr UINT kSegmentPromptDelayMs = 1000;

} // namespace

BOOL CPage1::OnInitDialog() {
    CSelectionPage::OnInitDialog();
    HWND page = GetHwnd();
    for (const Key& k : kToggles) {
        if (auto* key = m_controls.Attach<CBouton2Etats>(page, k.id))
            key->SetBitmaps(k.bitmaps[0], k.bitmaps[1], k.bitmaps[2], k.bitmaps[3]);
        selection::PlaceOnSkin(page, k.id, k.fx, k.fy);
    }
    if (auto* four = m_controls.Attach<CBoutonRond>(page, IDC_BUTTON_ATMX4)) {
        const uint16_t* b = kFourImagesBitmaps;
        four->SetBitmaps(b[0], b[1], b[2], b[3], b[4], b[5]);
        // Only the panel's recap moves it: a press must not step it.
        four->SetCycleOnPress(false);
    }
    selection::PlaceOnSkin(page, IDC_BUTTON_ATMX4, kFourImagesFx, kFourImagesFy);
    // The cephalometry key is never offered on this page.
    ::ShowWindow(GetItem(IDC_CEPHALO), SW_HIDE);
    if (auto* side = m_controls.Attach<controls::CSpaceDisplay>(page, IDC_PAGE_STATIC_R)) {
        side->SetFont("ARIAL", 20);
        side->SetTextColour(kSideMarkerColour);
        side->SetText("R");
    }
    selection::PlaceOnSkin(page, IDC_PAGE_STATIC_R, kSideMarkerFx, kSideMarkerFy);
    const std::pair<int, UINT> tips[] = {{IDC_BUTTON_ATMX4, kFourImagesTip}};
    selection::CreateBalloonTooltip(page, tips);
    return TRUE;
}

bool CPage1::Lit(int id) const {
    auto* key = selection::PageControl<controls::CAfficheur2Etats>(GetHwnd(), id);
    return key && key->GetState() != 0;
}

bool CPage1::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_BUTTON_ATMDROITE:
    case IDC_BUTTON_ATMGAUCHE:
        selection::SendPageCommand(Panel(), kWordTmj, kPromptTmj);
        return true;
    case IDC_BUTTON_ATMX4:
        OnFourImages();
        return true;
    case IDC_BUTTON_SINUS:
        selection::SendPageCommand(Panel(), kWordSinus, kPromptSinus);
        return true;
    case IDC_CEPHALO:
        selection::SendPageCommand(Panel(), kWordCephalometry, 0);
        return true;
    case IDC_BUTTON_INCISIVE:
    case IDC_BUTTON_MOLAIREDROITE:
    case IDC_BUTTON_MOLAIREGAUCHE:
        OnSegment();
        return true;
    default:
        return false;
    }
}

void CPage1::OnSegment() {
    // The pressed key has toggled itself: the word carries all three keys as they now look.
    const uint16_t word =
        selection::SegmentWord(Lit(IDC_BUTTON_MOLAIREDROITE), Lit(IDC_BUTTON_INCISIVE), Lit(IDC_BUTTON_MOLAIREGAUCHE));
    if (!selection::SendPageCommand(Panel(), word, 0))
        return;
    // Each press within the delay starts it again, so one prompt names the final combination.
    if (segmentTimer)
        ::KillTimer(GetHwnd(), segmentTimer);
    segmentTimer = ::SetTimer(GetHwnd(), kSegmentTimer, kSegmentPromptDelayMs, nullptr);
}

void CPage1::OnTimer(UINT_PTR id) {
    if (id != kSegmentTimer)
        return;
    ::KillTimer(GetHwnd(), kSegmentTimer);
    segmentTimer = 0;
    // The keys as the unit accepted them, relit by the refresh.
    const uint16_t prompt = selection::SegmentPrompt(Lit(IDC_BUTTON_MOLAIREDROITE), Lit(IDC_BUTTON_INCISIVE),
                                                     Lit(IDC_BUTTON_MOLAIREGAUCHE));
    if (prompt != 0 && Panel())
        Panel()->PlayVoicePrompt(prompt);
}

void CPage1::OnFourImages() {
    // Offered only while a TMJ program is selected, as the recap lights it.
    if (Lit(IDC_BUTTON_ATMGAUCHE) && !Lit(IDC_BUTTON_MOLAIREGAUCHE)) {
        selection::SendPageCommand(Panel(), kWordTmjFour, kPromptTmjFour);
        return;
    }
    if (auto* four = selection::PageControl<CBoutonRond>(GetHwnd(), IDC_BUTTON_ATMX4))
        four->SetState(0);
}

bool CPage1::OnSetCursor(HWND over) {
    const auto* four = selection::PageControl<CBoutonRond>(GetHwnd(), IDC_BUTTON_ATMX4);
    // The four-image key is a key only while it offers something.
    if (over && over == GetItem(IDC_BUTTON_ATMX4) && !(Lit(IDC_BUTTON_ATMDROITE) && four && four->GetState() != 0))
        return selection::SetPageCursor(GetHwnd(), nullptr, {});
    return selection::SetPageCursor(GetHwnd(), over,
                                    {IDC_CEPHALO, IDC_BUTTON_INCISIVE, IDC_BUTTON_MOLAIREDROITE,
                                     IDC_BUTTON_MOLAIREGAUCHE, IDC_BUTTON_SINUS, IDC_BUTTON_ATMDROITE,
                                     IDC_BUTTON_ATMGAUCHE, IDC_BUTTON_ATMX4});
}

INT_PTR CPage1::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETCURSOR:
        if (!OnSetCursor(reinterpret_cast<HWND>(wParam)))
            return FALSE;
        SetMessageResult(TRUE);
        return TRUE;
    case WM_CLOSE:
        // Closing the page is the panel's cancel.
        if (HWND owner = ::GetParent(GetHwnd()))
            ::SendMessageA(owner, kMsgPageCancel, 0, 0);
        return TRUE;
    case WM_DESTROY:
        if (segmentTimer)
            ::KillTimer(GetHwnd(), segmentTimer);
        segmentTimer = 0;
        return CSelectionPage::DialogProc(msg, wParam, lParam);
    default:
        return CSelectionPage::DialogProc(msg, wParam, lParam);
    }
}
