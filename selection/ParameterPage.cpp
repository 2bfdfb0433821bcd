// The parameter page: its layout on the page skin, its keys and its displays.
#include "selection/ParameterPage.h"

#include "controls/Buttons.h"
#include "controls/Displays.h"
#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "link/Jbus.h"
#include "nxlang/TextIds.h"
#include "panel/DesignDialog.h"
#include "platform/Module.h"
#include "resources/ParameterPageIds.h"
#include "resources/ResourceIds.h"
#include "selection/PageSupport.h"

#include <commctrl.h>

namespace {

using controls::CAutoClickButton;
using controls::CJoliBouton;
using controls::CSpaceDisplay;
using controls::CTextDisplay;

constexpr char kFace[] = "ARIAL";
constexpr int kCaptionHeight = 12, kDisplayHeight = 25;
// The cephalometric layout shifts the value block left and down.
constexpr double kCephShiftX = -9, kCephShiftY = 25;

// Command words: the group in the low byte, 0 up or 1 down in the high byte.
constexpr uint16_t kKvUp = 0x0001, kKvDown = 0x0101, kMaUp = 0x0002, kMaDown = 0x0102;
constexpr uint16_t kTimeUp = 0x0003, kTimeDown = 0x0103, kMemory = 0x0008;
// Program families whose memory key also refreshes the restore file.
constexpr int kServiceFamilyPano = 12, kServiceFamilyCeph = 14;

enum class Kind { Caption, Display, Step, Memory, Warning };
struct PageControl {
    int id;
    Kind kind;
    uint16_t pano[4]; // bitmaps for panoramic work (displays: image, mask)
    uint16_t ceph[4]; // bitmaps for cephalometric work
    double fx, fy;    // panoramic place
    double cfx, cfy;  // cephalometric place, before the shift
    bool shifted;     // in the first table: moves in cephalometric work
    const char* text; // captions
    UINT textId;      // warnings
};

// One control per line, as the layout table reads.
// clang-format off
constexpr PageControl kControls[] = {
    {IDC_STATIC_KV, Kind::Caption, {}, {}, 0.061, 0.045, 0.061, 0.045, true, "kV", 0},
    {IDC_BUTTON_LCDA, Kind::Display, {183, 182}, {187, 182}, 0.0303, 0.0621, 0.0303, 0.0621, true, nullptr, 0},
    {IDC_BUTTON_PLUS1, Kind::Step, {180, 179, 181, 179}, {180, 179, 181, 179}, 0.0518, 0.1228, 0.0518, 0.1228, true, nullptr, 0},
    {IDC_BUTTON_MOINS1, Kind::Step, {177, 196, 178, 196}, {177, 196, 178, 196}, 0.0518, 0.1715, 0.0518, 0.1715, true, nullptr, 0},
    {IDC_STATIC_MA, Kind::Caption, {}, {}, 0.162, 0.045, 0.162, 0.045, true, "mA", 0},
    {IDC_BUTTON_LCDB, Kind::Display, {185, 184}, {183, 184}, 0.1325, 0.0621, 0.1325, 0.0621, true, nullptr, 0},
    {IDC_BUTTON_PLUS2, Kind::Step, {180, 179, 181, 179}, {180, 179, 181, 179}, 0.1533, 0.1228, 0.1533, 0.1228, true, nullptr, 0},
    {IDC_BUTTON_MOINS2, Kind::Step, {177, 196, 178, 196}, {177, 196, 178, 196}, 0.1533, 0.1715, 0.1533, 0.1715, true, nullptr, 0},
    {IDC_STATIC_MS, Kind::Caption, {}, {}, 0.061, 0.245, 0.263, 0.045, true, "S", 0},
    {IDC_BUTTON_LCDC, Kind::Display, {187, 186}, {185, 186}, 0.0303, 0.2652, 0.2347, 0.0621, true, nullptr, 0},
    {IDC_BUTTON_PLUS3, Kind::Step, {180, 179, 181, 179}, {180, 179, 181, 179}, 0.2548, 0.1228, 0.2548, 0.1228, true, nullptr, 0},
    {IDC_BUTTON_MOINS3, Kind::Step, {177, 196, 178, 196}, {177, 196, 178, 196}, 0.2548, 0.1715, 0.2548, 0.1715, true, nullptr, 0},
    {IDC_BUTTON_MEMORY, Kind::Memory, {193, 195, 190, 195}, {193, 195, 190, 195}, 0.2451, 0.2665, 0.2451, 0.2665, false, nullptr, 0},
    {IDC_STATIC_DOSE, Kind::Caption, {}, {}, 0.162, 0.245, 0.162, 0.245, false, "Dose", 0},
    {IDC_BUTTON_LCDD, Kind::Display, {189, 188}, {189, 188}, 0.1325, 0.2652, 0.1325, 0.2652, false, nullptr, 0},
    {IDC_STATIC_XRAY_USER_WARNING1, Kind::Warning, {}, {}, 0.021, 0.33, 0.021, 0.33, false, nullptr, 4687},
    {IDC_STATIC_XRAY_USER_WARNING2, Kind::Warning, {}, {}, 0.021, 0.34, 0.021, 0.34, false, nullptr, 4688},
    {IDC_STATIC_XRAY_USER_WARNING3, Kind::Warning, {}, {}, 0.021, 0.35, 0.021, 0.35, false, nullptr, 4689},
};
// clang-format on

constexpr std::pair<int, UINT> kTooltips[] = {
    {IDC_BUTTON_PLUS1, 4610},  {IDC_BUTTON_MOINS1, 4608}, {IDC_BUTTON_PLUS2, 4611},
    {IDC_BUTTON_MOINS2, 4609}, {IDC_BUTTON_LCDA, 4614},   {IDC_BUTTON_LCDB, 4615},
    {IDC_BUTTON_LCDC, 4616},   {IDC_BUTTON_LCDD, 4613},   {IDC_BUTTON_MEMORY, 4612},
};

constexpr std::pair<int, uint16_t> kStepWords[] = {
    {IDC_BUTTON_PLUS1, kKvUp},    {IDC_BUTTON_MOINS1, kKvDown}, {IDC_BUTTON_PLUS2, kMaUp},
    {IDC_BUTTON_MOINS2, kMaDown}, {IDC_BUTTON_PLUS3, kTimeUp},  {IDC_BUTTON_MOINS3, kTimeDown},
};

SIZE BitmapSize(UINT id) {
    SIZE size{1024, 768};
    platform::UniqueBitmap bitmap(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0)));
    BITMAP info{};
    if (bitmap && ::GetObjectA(bitmap.Get(), sizeof info, &info)) {
        size.cx = info.bmWidth;
        size.cy = info.bmHeight;
    }
    return size;
}

} // namespace

CPage3::CPage3(CDesignDialog* panel) : CSelectionPage(kPageParameters, panel) {}

CPage3::~CPage3() = default;

BOOL CPage3::OnInitDialog() {
    CSelectionPage::OnInitDialog();
    Layout();
    CreateTooltips();
    return TRUE;
}

void CPage3::Layout() {
    HWND page = GetHwnd();
    const bool panoramic = theApp().mode != 0;
    const SIZE skin = BitmapSize(kPanelBackground); // positions are fractions of the panel's skin
    for (const PageControl& c : kControls) {
        const bool shift = !panoramic && c.shifted;
        const double fx = panoramic ? c.fx : c.cfx, fy = panoramic ? c.fy : c.cfy;
        const int x = static_cast<int>(skin.cx * fx + (shift ? kCephShiftX : 0));
        const int y = static_cast<int>(skin.cy * fy + (shift ? kCephShiftY : 0));
        const uint16_t* b = panoramic ? c.pano : c.ceph;
        std::unique_ptr<platform::Window> object;
        switch (c.kind) {
        case Kind::Caption:
        case Kind::Warning: {
            auto caption = std::make_unique<CSpaceDisplay>();
            if (!caption->Attach(static_cast<UINT>(c.id), page))
                continue;
            caption->SetFont(kFace, kCaptionHeight);
            caption->SetText(c.kind == Kind::Warning ? platform::LoadText(c.textId) : std::string(c.text));
            object = std::move(caption);
            break;
        }
        case Kind::Display: {
            auto display = std::make_unique<CTextDisplay>();
            if (!display->Attach(static_cast<UINT>(c.id), page))
                continue;
            display->SetBitmaps(b[0], b[1]);
            display->SetFont(kFace, kDisplayHeight);
            object = std::move(display);
            break;
        }
        case Kind::Step: {
            auto key = std::make_unique<CAutoClickButton>();
            if (!key->Attach(static_cast<UINT>(c.id), page))
                continue;
            key->SetBitmaps(b[0], b[1], b[2], b[3]);
            object = std::move(key);
            break;
        }
        case Kind::Memory: {
            auto key = std::make_unique<CJoliBouton>();
            if (!key->Attach(static_cast<UINT>(c.id), page))
                continue;
            key->SetBitmaps(b[0], b[1], b[2], b[3]);
            object = std::move(key);
            break;
        }
        }
        ::SetWindowPos(GetItem(c.id), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        m_controls.push_back(std::move(object));
    }
    // The unit steps the exposure time only in cephalometric work; the dose stays hidden.
    for (int id : {IDC_BUTTON_PLUS3, IDC_BUTTON_MOINS3})
        ::ShowWindow(GetItem(id), panoramic ? SW_HIDE : SW_SHOW);
    for (int id : {IDC_STATIC_DOSE, IDC_BUTTON_LCDD})
        ::ShowWindow(GetItem(id), SW_HIDE);
}

void CPage3::CreateTooltips() {
    m_tooltip = selection::CreateBalloonTooltip(GetHwnd(), kTooltips);
}

void CPage3::SetValueTexts(const std::string& kv, const std::string& milliAmps, const std::string& time,
                           const std::string& dose) {
    const std::pair<int, const std::string*> texts[] = {{IDC_BUTTON_LCDA, &kv},
                                                        {IDC_BUTTON_LCDB, &milliAmps},
                                                        {IDC_BUTTON_LCDC, &time},
                                                        {IDC_BUTTON_LCDD, &dose}};
    for (const auto& [id, text] : texts)
        if (auto* display = dynamic_cast<CTextDisplay*>(platform::Window::FromHandle(GetItem(id))))
            if (display->GetText() != *text)
                display->SetText(*text);
}

bool CPage3::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    const int id = LOWORD(wParam);
    if (id == IDC_BUTTON_MEMORY) {
        OnMemory();
        return true;
    }
    for (const auto& [key, word] : kStepWords) {
        if (key != id)
            continue;
        // The time keys exist for cephalometric work only, even if a click reaches a hidden key.
        const bool timeKey = word == kTimeUp || word == kTimeDown;
        if (!timeKey || theApp().mode == 0)
            SendStep(word);
        return true;
    }
    return false;
}

void CPage3::SendStep(uint16_t word) {
    host::LinkSession link;
    // The unit applies its own step and limit, and refuses during a cycle (the link latches that).
    if (link.IsOpen() && link.Get()->WriteCommand(word) && Panel())
        Panel()->RefreshSelection();
}

void CPage3::OnMemory() {
    host::LinkSession link;
    if (!link.IsOpen())
        return;
    unitlink::SelectionRecord selection;
    if (link.Get()->ReadSelection(&selection)) {
        const int family = selection.ProgramFamily();
        // Memorising on a service program also keeps a fresh copy of the unit's blocks.
        if (family == kServiceFamilyPano || family == kServiceFamilyCeph)
            host::SaveRestoreFileNow();
    }
    if (link.Get()->WriteCommand(kMemory) && Panel()) {
        Panel()->RefreshSelection();
        Panel()->PlayVoicePrompt(nxlang::Prompt::ParametersMemorised);
    }
}
