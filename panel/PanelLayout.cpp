// The panel's layout for each design, as tables: every control is placed at a fraction of the 1024 x
// 768 skin (moved, never resized), given its pictures, font and text, and shown or hidden by design.
#include "panel/PanelLayout.h"

#include "controls/Controls.h"
#include "host/LinkAccess.h"
#include "link/DataBlocks.h"
#include "platform/Module.h"
#include "resources/ResourceIds.h"
#include "selection/PageSupport.h"
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <commctrl.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace panel {
namespace {

using namespace controls;

// The layout reference: the skin bitmap's size.
constexpr double kReferenceWidth = 1024.0, kReferenceHeight = 768.0;
constexpr UINT kPanelMask = 284;
constexpr UINT kPageBackground = 158;
constexpr int kPageAreaId = IDC_PAGE_AREA;
constexpr int kPreviewId = IDC_PREVIEW;
constexpr int kLogoId = IDC_LOGOHALVEX;
constexpr int kRecapCephId = IDC_RECAP_CNT;
constexpr int kPageSelectorId = IDC_BUTTONROND;
constexpr int kNoxId = IDC_BUTTON_NOX;
constexpr char kDisplayFace[] = "ARIAL";
// The cephalometric option value that has pictures of its own on the recap.
constexpr uint16_t kCephOptionWithOwnPicture = 2;

// Which designs show a control.
enum Shown : unsigned {
    kNowhere = 0,
    kInV1 = 1,
    kInV2 = 2,
    kInV3 = 4,
    kAll = 7,
    kPanoramic = kInV1 | kInV2,
    kNotV1 = kInV2 | kInV3
};

bool ShownIn(unsigned shown, Design design) {
    return (shown & (1u << (static_cast<int>(design) - 1))) != 0;
}

int At(double reference, double fraction) {
    return static_cast<int>(reference * fraction);
}

enum class Kind { Lamp, Toggle, Key, Round, Lamp3 };

struct SkinnedControl {
    int id;
    Kind kind;
    double fx, fy;
    std::array<uint16_t, 6> bitmaps; // in each class's SetBitmaps order
    unsigned shown;
};

// Keys, lamps and recap displays, in their set-up order (ids as in resources/ResourceIds.h); designs 2
// and 3 place them as design 1.
constexpr SkinnedControl kSkinned[] = {
    {kPageSelectorId, Kind::Round, 0.6035, 0.1848, {241, 237, 240, 239, 242, 238}, kAll},
    {1000, Kind::Toggle, 0.138, 0.8541, {131, 130, 132, 130}, kAll},
    {1001, Kind::Lamp, 0.8457, 0.7543, {134, 133, 424, 133}, kAll},
    {1002, Kind::Lamp, 0.7897, 0.7543, {137, 136, 138, 136}, kAll},
    {1003, Kind::Key, 0.0514, 0.0763, {140, 139, 141, 139}, kAll},
    {1004, Kind::Toggle, 0.6445, 0.7543, {143, 142, 144, 142}, kAll},
    {1005, Kind::Key, 0.7031, 0.7543, {153, 145, 147, 145}, kAll},
    {kNoxId, Kind::Round, 0.0852, 0.8541, {149, 148, 150, 148, 278, 148}, kAll},
    {IDCANCEL, Kind::Key, 0.8697, 0.8541, {152, 151, 146, 151}, kAll},
    {1039, Kind::Lamp, 0.1946, 0.6006, {220, 219, 221, 219}, kPanoramic},
    {1040, Kind::Lamp, 0.1054, 0.6006, {216, 222, 224, 222}, kPanoramic},
    {1041, Kind::Lamp, 0.1477, 0.6059, {233, 225, 227, 225}, kPanoramic},
    {1042, Kind::Lamp, 0.1666, 0.6059, {229, 228, 230, 228}, kPanoramic},
    {1043, Kind::Lamp, 0.1204, 0.6059, {217, 223, 218, 223}, kPanoramic},
    {1044, Kind::Lamp, 0.1419, 0.5789, {232, 231, 226, 231}, kPanoramic},
    {1018, Kind::Lamp3, 0.2903, 0.5755, {252, 251, 254, 253, 250, 249}, kAll},
    {1019, Kind::Lamp, 0.2259, 0.5694, {244, 243, 245, 243}, kAll},
    {1020, Kind::Lamp, 0.2565, 0.5694, {247, 246, 248, 246}, kAll},
};

// The cephalometric recap, placed after the keys; its pictures depend on the unit (below).
constexpr double kRecapCephFx = 0.118, kRecapCephFy = 0.5694;

// The logo and the warning signs: fixed pictures. The logo's come from the "Logo" setting.
struct FixedPicture {
    int id;
    double fx, fy;
    std::array<uint16_t, 4> bitmaps;
};
constexpr FixedPicture kPictures[] = {
    {kLogoId, 0.2265625, 0.85546875, {}},         {1068, 0.1998, 0.0789, {259, 260, 259, 260}},
    {1069, 0.1627, 0.0789, {262, 256, 262, 256}}, {1070, 0.4687, 0.6996, {255, 261, 255, 261}},
    {1071, 0.3652, 0.7282, {264, 263, 264, 263}},
};
constexpr std::array<uint16_t, 4> kLogoLong = {531, 530, 531, 530};
constexpr std::array<uint16_t, 4> kLogoShort = {282, 281, 282, 281};

// Captions and displays: fx is design 1's, fxOthers that of designs 2 and 3.
struct TextControl {
    int id;
    int height;
    double fx, fxOthers, fy;
    UINT textId;         // language library text, or 0 for the literal
    const char* literal; // captions without a text of their own
    unsigned shown;
};

constexpr TextControl kCaptions[] = {
    {1047, 12, 0.13, 0.13, 0.555, 4178, nullptr, kAll},
    {1048, 12, 0.26, 0.26, 0.555, 4179, nullptr, kAll},
    {1049, 12, 0.355, 0.36, 0.555, 4182, nullptr, kAll},
    {1051, 12, 0.415, 0.4105, 0.555, 4183, nullptr, kAll},
    {1053, 12, 0.475, 0.465, 0.555, 4184, nullptr, kAll},
    {1054, 12, 0.525, 0.525, 0.555, 4181, nullptr, kNotV1},
    {1057, 20, 0.75, 0.75, 0.214, 4178, nullptr, kAll},
    {1058, 20, 0.748, 0.748, 0.262, 4179, nullptr, kAll},
    {1059, 20, 0.736, 0.736, 0.307, 4180, nullptr, kAll},
    // "x4" waits hidden for the four-image TMJ program, which the program recap shows it for.
    {1075, 12, 0.11, 0.11, 0.58, 0, "x4", kNowhere},
    {1103, 12, 0.2075, 0.2075, 0.64, 0, "R", kAll},
};
// The page captions are clicked to choose a page.
constexpr int kClickableCaptions[] = {1057, 1058, 1059};

constexpr TextControl kDisplays[] = {
    {1055, 30, 0.345, 0.345, 0.58, 0, "", kAll},    {1056, 30, 0.405, 0.395, 0.58, 0, "", kAll},
    {1063, 30, 0.465, 0.44, 0.58, 0, "", kAll},     {1064, 30, 0.5, 0.5, 0.58, 0, "", kNotV1},
    {1065, 25, 0.11, 0.11, 0.7375, 0, "", kAll},    {1066, 25, 0.4, 0.4, 0.7375, 0, "", kAll},
    {1072, 20, 0.51, 0.51, 0.75, 0, "00:00", kAll},
};
// kV, mA, time and dose: centred values.
constexpr int kCentredDisplays[] = {1055, 1056, 1063, 1064};

constexpr double kPreviewFx = 0.0899, kPreviewFy = 0.1603, kPreviewFw = 0.4936, kPreviewFh = 0.3598;
constexpr double kPageAreaFx = 0.5927, kPageAreaFy = 0.3502;

// Tooltip texts of the controls.
constexpr std::pair<int, UINT> kTooltips[] = {
    {kPageSelectorId, 4566},
    {1001, 4567},
    {1002, 4568},
    {1003, 4569},
    {1004, 4570},
    {1005, 4571},
    {1019, 4572},
    {1020, 4573},
    {1018, 4576},
    {kNoxId, 4581},
    {IDCANCEL, 4582},
    {1059, 4583},
    {1058, 4584},
    {1057, 4585},
    {1066, 4586},
    {1065, 4587},
    {1055, 4589},
    {1056, 4590},
    {1063, 4591},
    {1064, 4181},
    {1072, 4593},
    {1000, 4594},
};

class Layout {
public:
    Layout(HWND panel, Design design, PanelControls& controls)
        : m_panel(panel), m_design(design), m_controls(controls) {}

    template <typename T> T* Attach(int id) {
        auto object = std::make_unique<T>();
        if (!object->Attach(static_cast<UINT>(id), m_panel))
            return nullptr;
        T* raw = object.get();
        m_controls.objects.push_back(std::move(object));
        return raw;
    }

    // Moves a control to its place on the reference skin, keeping its size and stacking order.
    void Place(int id, double fx, double fy) const {
        ::SetWindowPos(::GetDlgItem(m_panel, id), nullptr, At(kReferenceWidth, fx), At(kReferenceHeight, fy),
                       0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void Show(int id, unsigned shown) const {
        ::ShowWindow(::GetDlgItem(m_panel, id), ShownIn(shown, m_design) ? SW_SHOW : SW_HIDE);
    }

    void Skinned(const SkinnedControl& c) {
        const auto& b = c.bitmaps;
        switch (c.kind) {
        case Kind::Lamp:
            if (auto* lamp = Attach<CAfficheur2Etats>(c.id))
                lamp->SetBitmaps(b[0], b[1], b[2], b[3]);
            break;
        case Kind::Toggle:
            if (auto* toggle = Attach<CBouton2Etats>(c.id))
                toggle->SetBitmaps(b[0], b[1], b[2], b[3]);
            break;
        case Kind::Key:
            if (auto* key = Attach<CJoliBouton>(c.id))
                key->SetBitmaps(b[0], b[1], b[2], b[3]);
            break;
        case Kind::Round:
            if (auto* round = Attach<CBoutonRond>(c.id)) {
                round->SetBitmaps(b[0], b[1], b[2], b[3], b[4], b[5]);
                // The NOX key mirrors the unit; the page selector steps on each press.
                round->SetCycleOnPress(c.id != kNoxId);
            }
            break;
        case Kind::Lamp3:
            if (auto* lamp = Attach<CAfficheur3Etats>(c.id))
                lamp->SetBitmaps(b[0], b[1], b[2], b[3], b[4], b[5]);
            break;
        }
        Place(c.id, c.fx, c.fy);
    }

    double Fx(const TextControl& t) const { return m_design == Design::V1 ? t.fx : t.fxOthers; }
    static std::string Text(const TextControl& t) {
        return t.textId ? platform::LoadText(t.textId) : t.literal;
    }

    HWND m_panel;
    Design m_design;
    PanelControls& m_controls;
};

// Reads the cephalometric option from the unit's factory block; a unit that cannot tell gets the
// usual pictures.
uint16_t UnitCephalometricOption() {
    unitlink::FactorySettingsBlock factory;
    return host::ReadFactorySettings(factory) ? factory.CephalometricOption() : 0;
}

void SetUpRecap(Layout& layout) {
    auto* recap = layout.Attach<CAfficheur6Etats>(kRecapCephId);
    if (recap) {
        const bool own = UnitCephalometricOption() == kCephOptionWithOwnPicture;
        const uint32_t images[6] = {499, 488, own ? 492u : 490u, 494, 496, 498};
        const uint32_t masks[6] = {487, 489, own ? 493u : 491u, 495, 497, 486};
        recap->SetBitmaps(images, masks);
    }
    layout.Place(kRecapCephId, kRecapCephFx, kRecapCephFy);
}

std::array<uint16_t, 4> LogoBitmaps() {
    int32_t logo = 0;
    support::SettingsKey key(support::SystemRegistry(), support::kLumenPath, support::SettingsKey::Read);
    if (key.IsOpen())
        key.ReadNumber("Logo", logo, 0);
    return logo != 0 ? kLogoLong : kLogoShort;
}

void PlaceFrame(HWND panel, HBITMAP background) {
    BITMAP skin{};
    skin.bmWidth = static_cast<LONG>(kReferenceWidth);
    skin.bmHeight = static_cast<LONG>(kReferenceHeight);
    if (background)
        ::GetObjectA(background, sizeof skin, &skin);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - skin.bmWidth) / 2 + 1;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - skin.bmHeight) / 2;
    ::SetWindowPos(panel, nullptr, x, y, skin.bmWidth, skin.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    // The preview covers the picture window of the skin, in proportion to the skin actually loaded.
    ::SetWindowPos(::GetDlgItem(panel, kPreviewId), nullptr, At(kReferenceWidth, kPreviewFx),
                   At(kReferenceHeight, kPreviewFy), static_cast<int>(kPreviewFw * skin.bmWidth),
                   static_cast<int>(kPreviewFh * skin.bmHeight),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

void PlacePageArea(HWND panel) {
    BITMAP page{};
    page.bmWidth = 332;
    page.bmHeight = 293;
    platform::UniqueBitmap pageBitmap(LoadSkinBitmap(kPageBackground));
    if (pageBitmap)
        ::GetObjectA(pageBitmap.Get(), sizeof page, &page);
    ::SetWindowPos(::GetDlgItem(panel, kPageAreaId), nullptr,
                   static_cast<int>(1 + kReferenceWidth * kPageAreaFx),
                   static_cast<int>(1 + kReferenceHeight * kPageAreaFy), page.bmWidth, page.bmHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// A caption or display whose template box reaches into the page area would show the skin through the
// page plate (the pages lie under the panel's controls): its window stops at the area's edge instead.
void KeepOutOfPageArea(HWND panel, int id) {
    HWND control = ::GetDlgItem(panel, id);
    RECT box{}, pages{}, overlap{};
    ::GetWindowRect(control, &box);
    ::GetWindowRect(::GetDlgItem(panel, kPageAreaId), &pages);
    if (!control || !::IntersectRect(&overlap, &box, &pages))
        return;
    ::OffsetRect(&overlap, -box.left, -box.top);
    platform::UniqueRegion shape(::CreateRectRgn(0, 0, box.right - box.left, box.bottom - box.top));
    platform::UniqueRegion cut(::CreateRectRgnIndirect(&overlap));
    ::CombineRgn(shape.Get(), shape.Get(), cut.Get(), RGN_DIFF);
    if (::SetWindowRgn(control, shape.Get(), TRUE))
        shape.Release(); // the window owns it now
}

HWND CreateTooltips(HWND panel) {
    return selection::CreateBalloonTooltip(panel, kTooltips, TTS_ALWAYSTIP);
}

struct FindTooltip {
    HWND owner;
    HWND control;
    HWND found = nullptr;
};

// The panel's own tooltip: the pages' tooltips belong to the panel's window too, but not the control.
BOOL CALLBACK MatchTooltip(HWND wnd, LPARAM parameter) {
    auto* search = reinterpret_cast<FindTooltip*>(parameter);
    char name[32] = {};
    ::GetClassNameA(wnd, name, sizeof name);
    if (::GetWindow(wnd, GW_OWNER) != search->owner || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
        return TRUE;
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = search->owner;
    tool.uId = reinterpret_cast<UINT_PTR>(search->control);
    if (::SendMessageA(wnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool))) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool LayoutPanel(HWND panel, HBITMAP background, Design design, PanelControls& controls) {
    Layout layout(panel, design, controls);
    PlaceFrame(panel, background);

    for (const SkinnedControl& c : kSkinned)
        layout.Skinned(c);
    SetUpRecap(layout);
    for (const SkinnedControl& c : kSkinned)
        layout.Show(c.id, c.shown);
    layout.Show(kRecapCephId, kInV3);

    const std::array<uint16_t, 4> logo = LogoBitmaps();
    for (const FixedPicture& p : kPictures) {
        const auto& b = p.id == kLogoId ? logo : p.bitmaps;
        if (auto* picture = layout.Attach<CJoliBouton>(p.id))
            picture->SetBitmaps(b[0], b[1], b[2], b[3]);
        layout.Place(p.id, p.fx, p.fy);
    }

    for (const TextControl& t : kCaptions) {
        if (auto* caption = layout.Attach<CSpaceDisplay>(t.id)) {
            caption->SetFont(kDisplayFace, t.height);
            layout.Place(t.id, layout.Fx(t), t.fy);
            caption->SetText(Layout::Text(t));
        }
        layout.Show(t.id, t.shown); // after the text, which shows the caption
    }
    for (const TextControl& t : kDisplays) {
        if (auto* display = layout.Attach<CJoliAfficheur>(t.id)) {
            display->SetFont(kDisplayFace, t.height);
            layout.Place(t.id, layout.Fx(t), t.fy);
            for (int centred : kCentredDisplays)
                if (centred == t.id)
                    display->SetCentred(true);
            display->SetText(Layout::Text(t));
        }
        layout.Show(t.id, t.shown);
    }
    for (int id : kClickableCaptions) {
        HWND caption = ::GetDlgItem(panel, id);
        ::SetWindowLongPtrA(caption, GWL_STYLE, ::GetWindowLongPtrA(caption, GWL_STYLE) | SS_NOTIFY);
    }
    layout.Attach<CStaticPreview>(kPreviewId);
    PlacePageArea(panel);
    for (const TextControl& t : kCaptions)
        KeepOutOfPageArea(panel, t.id);
    for (const TextControl& t : kDisplays)
        KeepOutOfPageArea(panel, t.id);

    // The panel takes the outline of its skin; a mask it cannot use leaves it rectangular.
    platform::UniqueBitmap mask(LoadSkinBitmap(kPanelMask));
    if (mask)
        ApplyMaskRegion(panel, mask.Get());

    controls.tooltip = CreateTooltips(panel);
    return true;
}

void SetControlTooltip(HWND panel, int controlId, UINT textId) {
    HWND control = ::GetDlgItem(panel, controlId);
    if (!control)
        return;
    FindTooltip search{panel, control};
    ::EnumThreadWindows(::GetWindowThreadProcessId(panel, nullptr), &MatchTooltip,
                        reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return;
    std::string text = platform::LoadText(textId);
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = panel;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    ::SendMessageA(search.found, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

} // namespace panel
