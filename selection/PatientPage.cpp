// The patient page: five keys, each one command word and one prompt, and the decorative bar.
#include "selection/PatientPage.h"

#include "controls/Controls.h"
#include "resources/PageIds.h"
#include "selection/PageRules.h"

namespace {

using selection::CommandWord;
using selection::kGroupAge;
using selection::kGroupBuild;

struct PatientKey {
    int id;
    double fx, fy;
    uint16_t bitmaps[4];
    uint16_t word;
    UINT prompt;
    UINT tip;
};
// The age and build values are the codes of the unit's selection record: age 1 adult, 0 child; build
// 0 slim, 1 normal, 2 large.
constexpr PatientKey kKeys[] = {
    {IDC_PATIENTADULTE, 0.1013, 0.0543, {163, 175, 164, 175}, CommandWord(kGroupAge, 1), 4036, 4603},
    {IDC_PATIENTENFANT, 0.1573, 0.0543, {166, 165, 167, 165}, CommandWord(kGroupAge, 0), 4037, 4604},
    {IDC_PATIENTMINCE, 0.1865, 0.2261, {172, 171, 174, 171}, CommandWord(kGroupBuild, 0), 4005, 4607},
    {IDC_PATIENTNORMAL, 0.1267, 0.2261, {156, 155, 157, 155}, CommandWord(kGroupBuild, 1), 4004, 4606},
    {IDC_PATIENTGROS, 0.0687, 0.2261, {169, 168, 170, 168}, CommandWord(kGroupBuild, 2), 4003, 4605},
};
constexpr double kBarFx = 0.0309, kBarFy = 0.1836;
constexpr uint16_t kBarBitmaps[4] = {173, 162, 173, 162};

} // namespace

BOOL CPage2::OnInitDialog() {
    CSelectionPage::OnInitDialog();
    HWND page = GetHwnd();
    for (const PatientKey& k : kKeys) {
        if (auto* key = m_controls.Attach<controls::CBouton2Etats>(page, k.id))
            key->SetBitmaps(k.bitmaps[0], k.bitmaps[1], k.bitmaps[2], k.bitmaps[3]);
        selection::PlaceOnSkin(page, k.id, k.fx, k.fy);
    }
    if (auto* bar = m_controls.Attach<controls::CJoliBouton>(page, IDC_TRAIT))
        bar->SetBitmaps(kBarBitmaps[0], kBarBitmaps[1], kBarBitmaps[2], kBarBitmaps[3]);
    selection::PlaceOnSkin(page, IDC_TRAIT, kBarFx, kBarFy);
    const std::pair<int, UINT> tips[] = {{kKeys[0].id, kKeys[0].tip},
                                         {kKeys[1].id, kKeys[1].tip},
                                         {kKeys[2].id, kKeys[2].tip},
                                         {kKeys[3].id, kKeys[3].tip},
                                         {kKeys[4].id, kKeys[4].tip}};
    selection::CreateBalloonTooltip(page, tips);
    return TRUE;
}

bool CPage2::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    for (const PatientKey& k : kKeys) {
        if (LOWORD(wParam) == k.id) {
            selection::SendPageCommand(Panel(), k.word, k.prompt);
            return true;
        }
    }
    return false;
}

INT_PTR CPage2::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETCURSOR:
        if (!selection::SetPageCursor(GetHwnd(), reinterpret_cast<HWND>(wParam),
                                      {IDC_PATIENTADULTE, IDC_PATIENTENFANT, IDC_PATIENTMINCE, IDC_PATIENTNORMAL,
                                       IDC_PATIENTGROS}))
            return FALSE;
        SetMessageResult(TRUE);
        return TRUE;
    case WM_CLOSE:
        if (HWND owner = ::GetParent(GetHwnd()))
            ::SendMessageA(owner, kMsgPageCancel, 0, 0);
        return TRUE;
    default:
        return CSelectionPage::DialogProc(msg, wParam, lParam);
    }
}
