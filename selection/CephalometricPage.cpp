// The cephalometric page: the view keys and their words, the lateral key's pictures by the unit's
// cephalometric option, and the angle keys that change only the page's own angle.
#include "selection/CephalometricPage.h"

#include "controls/Controls.h"
#include "host/LinkAccess.h"
#include "link/DataBlocks.h"
#include "panel/DesignDialog.h"
#include "panel/ProgramRecap.h"
#include "resources/PageIds.h"
#include "selection/PageRules.h"

namespace {

struct ViewKey {
    int id;
    double fx, fy;
    uint16_t bitmaps[4];
    uint8_t program; // family 3, the view in the high nibble
    UINT prompt;
};
constexpr ViewKey kViews[] = {
    {IDC_BUTTON_LATERAL, 0.0179, 0.0543, {}, 0x03, 4012},
    {IDC_BUTTON_AP, 0.1195, 0.0543, {432, 433, 431, 433}, 0x23, 4010},
    {IDC_BUTTON_PA, 0.2198, 0.0543, {441, 442, 440, 442}, 0x13, 4014},
    {IDC_BUTTON_OBLIQUE, 0.0179, 0.2088, {438, 439, 437, 439}, 0x33, 4013},
    {IDC_BUTTON_SV, 0.1195, 0.2088, {444, 445, 443, 445}, 0x43, 4015},
    {IDC_BUTTON_CARPUS, 0.2198, 0.2088, {435, 436, 434, 436}, 0x53, 4011},
};
// The lateral key shows the skull facing the way the unit's arm stands: option 2 faces left.
constexpr uint16_t kLateralFacingLeft[4] = {463, 462, 459, 462};
constexpr uint16_t kLateralFacingRight[4] = {460, 464, 461, 464};
constexpr uint16_t kOptionFacingLeft = 2;

struct AngleKey {
    int id;
    double fx, fy;
    uint16_t bitmaps[4];
    int step;
};
constexpr AngleKey kAngleKeys[] = {
    {IDC_BUTTON_OBLIQUEMOINS, 0.0186, 0.3286, {452, 453, 454, 453}, -1},
    {IDC_BUTTON_OBLIQUEPLUS, 0.083, 0.3286, {455, 448, 456, 448}, +1},
};
constexpr double kAngleFx = 0.0446, kAngleFy = 0.3286;
constexpr uint16_t kAngleOff = 457, kAngleOn = 485, kAngleMask = 458;

bool LateralFacesLeft() {
    unitlink::FactorySettingsBlock factory;
    return host::ReadFactorySettings(factory) && factory.CephalometricOption() == kOptionFacingLeft;
}

} // namespace

BOOL CPage4::OnInitDialog() {
    CSelectionPage::OnInitDialog();
    HWND page = GetHwnd();
    const uint16_t* lateral = LateralFacesLeft() ? kLateralFacingLeft : kLateralFacingRight;
    for (const ViewKey& k : kViews) {
        const uint16_t* b = k.id == IDC_BUTTON_LATERAL ? lateral : k.bitmaps;
        if (auto* key = m_controls.Attach<controls::CBouton2Etats>(page, k.id))
            key->SetBitmaps(b[0], b[1], b[2], b[3]);
        selection::PlaceOnSkin(page, k.id, k.fx, k.fy);
    }
    for (const AngleKey& k : kAngleKeys) {
        if (auto* key = m_controls.Attach<controls::CAutoClickButton>(page, k.id))
            key->SetBitmaps(k.bitmaps[0], k.bitmaps[1], k.bitmaps[2], k.bitmaps[3]);
        selection::PlaceOnSkin(page, k.id, k.fx, k.fy);
    }
    if (auto* angle = m_controls.Attach<controls::CSpecialDisplay>(page, IDC_BUTTON_ANGLE)) {
        angle->SetBitmaps(kAngleOff, kAngleOn, kAngleMask);
        angle->SetFont("ARIAL", 12);
        angle->SetText(panel::AngleText(panel::kAngleInitial).data());
    }
    selection::PlaceOnSkin(page, IDC_BUTTON_ANGLE, kAngleFx, kAngleFy);
    return TRUE;
}

int CPage4::Angle() const {
    auto* display = selection::PageControl<controls::CSpecialDisplay>(GetHwnd(), IDC_BUTTON_ANGLE);
    return display ? panel::AngleOfText(display->GetText()) : 0;
}

void CPage4::StepAngle(int step) {
    auto* display = selection::PageControl<controls::CSpecialDisplay>(GetHwnd(), IDC_BUTTON_ANGLE);
    if (!display)
        return;
    display->SetText(panel::AngleText(panel::StepAngle(panel::AngleOfText(display->GetText()), step)).data());
    // The unit never hears of the angle; the recap copies it into the host's record.
    if (Panel())
        Panel()->RefreshSelection();
}

bool CPage4::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    const int id = LOWORD(wParam);
    for (const ViewKey& k : kViews) {
        if (id == k.id) {
            selection::SendPageCommand(Panel(), selection::CommandWord(selection::kGroupProgram, k.program),
                                       k.prompt);
            return true;
        }
    }
    for (const AngleKey& k : kAngleKeys) {
        if (id == k.id) {
            StepAngle(k.step);
            return true;
        }
    }
    return false;
}

INT_PTR CPage4::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_SETCURSOR)
        return CSelectionPage::DialogProc(msg, wParam, lParam);
    if (!selection::SetPageCursor(GetHwnd(), reinterpret_cast<HWND>(wParam),
                                  {IDC_BUTTON_AP, IDC_BUTTON_CARPUS, IDC_BUTTON_OBLIQUE, IDC_BUTTON_PA, IDC_BUTTON_SV,
                                   IDC_BUTTON_OBLIQUEPLUS, IDC_BUTTON_OBLIQUEMOINS, IDC_BUTTON_LATERAL}))
        return FALSE;
    SetMessageResult(TRUE);
    return TRUE;
}
