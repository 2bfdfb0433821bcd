// skin_gallery: lays out the panel and the four pages with the skinned controls on their backgrounds,
// so that the skin can be looked at and screenshot.
//   skin_gallery [--sheet panel|ceph|pages] [--ready-file F] [--quit-file F] [--timeout-ms N]
// "panel" is the panoramic panel with the program page, "ceph" the cephalometric panel with its
// page, a preview and the lamps the other way round, "pages" every page unlit and lit. The ready file
// is written once the sheet is painted; the program ends when the quit file appears or at the timeout.
#include "controls/Controls.h"
#include "platform/Module.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace controls;

constexpr int kPanelWidth = 1024, kPanelHeight = 768;
constexpr UINT kPanelBitmap = 129, kPanelMask = 284, kPageBitmap = 158;
constexpr UINT_PTR kQuitTimer = 1;
constexpr COLORREF kHighlight = 0xFFFAE6;

// A window that shows a skin bitmap as its background and hosts skinned controls.
class Surface : public platform::Window {
public:
    explicit Surface(UINT bitmapId) : m_bitmap(LoadSkinBitmap(bitmapId)) {}

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_ERASEBKGND) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            BITMAP info{};
            if (m_bitmap && ::GetObjectA(m_bitmap.Get(), sizeof info, &info)) {
                platform::UniqueMemoryDc source(::CreateCompatibleDC(dc));
                platform::SelectObjectScope select(source.Get(), m_bitmap.Get());
                ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
            }
            return 1;
        }
        if (msg == WM_COMMAND)
            return 0;
        return platform::Window::WndProc(msg, wParam, lParam);
    }

private:
    platform::UniqueBitmap m_bitmap;
};

struct Sheet {
    std::vector<std::unique_ptr<platform::Window>> objects;

    template <typename T> T& Add() {
        objects.push_back(std::make_unique<T>());
        return static_cast<T&>(*objects.back());
    }

    HWND NewSurface(UINT bitmapId, HWND parent, int x, int y, int w, int h, DWORD style) {
        objects.push_back(std::make_unique<Surface>(bitmapId));
        platform::Window& s = *objects.back();
        platform::Window::RegisterClassOnce("LumenGallerySurface");
        return s.CreateEx(0, "LumenGallerySurface", "Lumen70", style, x, y, w, h, parent, nullptr);
    }

    static HWND Child(HWND parent, const char* cls, UINT id, int x, int y, int w, int h, DWORD style = 0) {
        return ::CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), platform::ResourceModule(),
                                 nullptr);
    }

    template <typename T> T& Button(HWND parent, UINT id, int x, int y) {
        Child(parent, "BUTTON", id, x, y, 16, 16);
        T& c = Add<T>();
        c.Attach(id, parent);
        return c;
    }
    void TwoState(HWND p, UINT id, int x, int y, uint16_t a, uint16_t b, uint16_t c, uint16_t d, int state,
                  bool toggle = false) {
        if (toggle) {
            auto& k = Button<CBouton2Etats>(p, id, x, y);
            k.SetBitmaps(a, b, c, d);
            k.SetState(state);
        } else {
            auto& k = Button<CAfficheur2Etats>(p, id, x, y);
            k.SetBitmaps(a, b, c, d);
            k.SetState(state);
        }
    }
    void Jolie(HWND p, UINT id, int x, int y, uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool repeat = false) {
        if (repeat)
            Button<CAutoClickButton>(p, id, x, y).SetBitmaps(a, b, c, d);
        else
            Button<CJoliBouton>(p, id, x, y).SetBitmaps(a, b, c, d);
    }
    void Caption(HWND p, UINT id, int x, int y, int w, int h, int size, const char* text, COLORREF colour = CLR_INVALID) {
        Child(p, "STATIC", id, x, y, w, h);
        auto& s = Add<CSpaceDisplay>();
        s.Attach(id, p);
        s.SetFont("ARIAL", size);
        if (colour != CLR_INVALID)
            s.SetTextColour(colour);
        s.SetText(text);
    }
    void Value(HWND p, UINT id, int x, int y, int w, int h, int size, const char* text, bool centred) {
        auto& d = Button<CJoliAfficheur>(p, id, x, y);
        ::MoveWindow(d.GetHwnd(), x, y, w, h, FALSE);
        d.SetFont("ARIAL", size);
        d.SetCentred(centred);
        d.SetText(text);
    }
    void Lcd(HWND p, UINT id, int x, int y, uint16_t image, uint16_t mask, const char* text) {
        auto& d = Button<CTextDisplay>(p, id, x, y);
        d.SetBitmaps(image, mask);
        d.SetFont("ARIAL", 25);
        d.SetText(text);
    }
};

// ---- Pages ----------------------------------------------------------------------------------------

void ProgramPage(Sheet& s, HWND page, int lit) {
    s.TwoState(page, 1036, 265, 127, 198, 210, 199, 210, lit, true);
    s.TwoState(page, 1037, 16, 127, 201, 200, 202, 200, lit, true);
    auto& x4 = s.Button<CBoutonRond>(page, 1038, 20, 45);
    x4.SetBitmaps(203, 204, 205, 204, 206, 204);
    x4.SetCycleOnPress(false);
    x4.SetState(lit ? 2 : 0);
    s.TwoState(page, 1032, 135, 139, 208, 207, 209, 207, lit, true);
    s.TwoState(page, 1033, 189, 138, 235, 236, 234, 236, 0, true);
    s.TwoState(page, 1034, 58, 138, 212, 211, 213, 211, lit, true);
    s.TwoState(page, 1035, 119, 79, 215, 214, 197, 214, 0, true);
    s.Caption(page, 1103, 304, 241, 24, 24, 20, "R", kHighlight);
}

void PatientPage(Sheet& s, HWND page, int lit) {
    s.TwoState(page, 1011, 103, 41, 163, 175, 164, 175, lit, true);
    s.TwoState(page, 1012, 161, 41, 166, 165, 167, 165, 0, true);
    s.TwoState(page, 1013, 190, 173, 172, 171, 174, 171, 0, true);
    s.TwoState(page, 1014, 129, 173, 156, 155, 157, 155, lit, true);
    s.TwoState(page, 1015, 70, 173, 169, 168, 170, 168, 0, true);
    s.Jolie(page, 1016, 31, 141, 173, 162, 173, 162);
}

void ParameterPage(Sheet& s, HWND page, bool ceph) {
    const int dx = ceph ? -9 : 0, dy = ceph ? 25 : 0;
    s.Caption(page, 1049, 62 + dx, 34 + dy, 40, 14, 12, "kV");
    s.Caption(page, 1051, 165 + dx, 34 + dy, 40, 14, 12, "mA");
    s.Caption(page, 1053, ceph ? 260 : 62, ceph ? 59 : 188, 40, 14, 12, "S");
    s.Lcd(page, 1022, 31 + dx, 47 + dy, ceph ? 187 : 183, 182, ceph ? "90" : "70");
    s.Lcd(page, 1023, 135 + dx, 47 + dy, ceph ? 183 : 185, 184, ceph ? "12" : "8.0");
    s.Lcd(page, 1024, ceph ? 231 : 31, ceph ? 72 : 203, ceph ? 185 : 187, 186, ceph ? "0.80" : "14.0");
    s.Jolie(page, 1029, 53 + dx, 94 + dy, 180, 179, 181, 179, true);
    s.Jolie(page, 1031, 53 + dx, 131 + dy, 177, 196, 178, 196, true);
    s.Jolie(page, 1030, 156 + dx, 94 + dy, 180, 179, 181, 179, true);
    s.Jolie(page, 1021, 156 + dx, 131 + dy, 177, 196, 178, 196, true);
    if (ceph) {
        s.Jolie(page, 1121, 251, 119, 180, 179, 181, 179, true);
        s.Jolie(page, 1122, 251, 156, 177, 196, 178, 196, true);
    }
    s.Jolie(page, 1027, 250, 204, 193, 195, 190, 195);
    s.Caption(page, 346, 21, 253, 300, 13, 12, "Protect the patient and yourself from X-rays.");
    s.Caption(page, 347, 21, 265, 300, 13, 12, "Stay outside the room during the exposure.");
    s.Caption(page, 348, 21, 277, 300, 13, 12, "Keep the exposure switch in sight.");
}

void CephaloPage(Sheet& s, HWND page, int lit, bool mirrored) {
    if (mirrored)
        s.TwoState(page, 1119, 18, 41, 463, 462, 459, 462, lit, true);
    else
        s.TwoState(page, 1119, 18, 41, 460, 464, 461, 464, lit, true);
    s.TwoState(page, 1111, 122, 41, 432, 433, 431, 433, 0, true);
    s.TwoState(page, 1114, 225, 41, 441, 442, 440, 442, 0, true);
    s.TwoState(page, 1113, 18, 160, 438, 439, 437, 439, lit ? 0 : 1, true);
    s.TwoState(page, 1115, 122, 160, 444, 445, 443, 445, 0, true);
    s.TwoState(page, 1112, 225, 160, 435, 436, 434, 436, 0, true);
    s.Jolie(page, 1117, 19, 252, 452, 453, 454, 453, true);
    auto& angle = s.Button<CSpecialDisplay>(page, 1118, 45, 252);
    angle.SetBitmaps(457, 485, 458);
    angle.SetFont("ARIAL", 12);
    angle.SetText("45\xB0");
    angle.SetState(lit != 0); // the angle shows only while the oblique view is chosen
    s.Jolie(page, 1116, 84, 252, 455, 448, 456, 448, true);
}

// ---- Panel ----------------------------------------------------------------------------------------

platform::UniqueBitmap MakePreviewPicture(HDC dc, int w, int h) {
    platform::UniqueBitmap bitmap(::CreateCompatibleBitmap(dc, w, h));
    platform::UniqueMemoryDc mem(::CreateCompatibleDC(dc));
    platform::SelectObjectScope select(mem.Get(), bitmap.Get());
    for (int y = 0; y < h; y += 4) {
        const int v = 60 + 150 * y / h;
        platform::UniqueBrush brush(::CreateSolidBrush(RGB(v, v, v)));
        const RECT band{0, y, w, y + 4};
        ::FillRect(mem.Get(), &band, brush.Get());
    }
    return bitmap;
}

HWND Panel(Sheet& s, bool ceph, platform::UniqueBitmap& preview) {
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kPanelWidth) / 2 + 1;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kPanelHeight) / 2;
    HWND owner = s.objects.empty() ? nullptr : s.objects.front()->GetHwnd();
    HWND p = s.NewSurface(kPanelBitmap, owner, x, y, kPanelWidth, kPanelHeight, WS_POPUP | WS_VISIBLE);
    platform::UniqueBitmap mask = LoadSkinBitmap(kPanelMask);
    ApplyMaskRegion(p, mask.Get());

    auto& selector = s.Button<CBoutonRond>(p, 1046, 617, 141);
    selector.SetBitmaps(241, 237, 240, 239, 242, 238);
    selector.SetState(ceph ? 2 : 0);
    s.TwoState(p, 1000, 141, 655, 131, 130, 132, 130, 1, true);
    s.TwoState(p, 1001, 865, 579, 134, 133, 424, 133, ceph ? 1 : 0);
    s.TwoState(p, 1002, 808, 579, 137, 136, 138, 136, ceph ? 0 : 1);
    s.Jolie(p, 1003, 52, 58, 140, 139, 141, 139);
    s.TwoState(p, 1004, 659, 579, 143, 142, 144, 142, ceph ? 1 : 0, true);
    s.Jolie(p, 1005, 719, 579, 153, 145, 147, 145);
    auto& nox = s.Button<CBoutonRond>(p, 1006, 87, 655);
    nox.SetBitmaps(149, 148, 150, 148, 278, 148);
    nox.SetCycleOnPress(false);
    nox.SetState(ceph ? 2 : 1);
    s.Jolie(p, 2, 890, 655, 152, 151, 146, 151);
    if (!ceph) {
        s.TwoState(p, 1039, 199, 461, 220, 219, 221, 219, 1);
        s.TwoState(p, 1040, 107, 461, 216, 222, 224, 222, 1);
        s.TwoState(p, 1041, 151, 465, 233, 225, 227, 225, 0);
        s.TwoState(p, 1042, 170, 465, 229, 228, 230, 228, 1);
        s.TwoState(p, 1043, 123, 465, 217, 223, 218, 223, 0);
        s.TwoState(p, 1044, 145, 444, 232, 231, 226, 231, 0);
    } else {
        auto& recap = s.Button<CAfficheur6Etats>(p, 1120, 120, 437);
        const uint32_t images[6] = {499, 488, 490, 494, 496, 498}, masks[6] = {487, 489, 491, 495, 497, 486};
        recap.SetBitmaps(images, masks);
        recap.SetState(2);
    }
    auto& build = s.Button<CAfficheur3Etats>(p, 1018, 297, 441);
    build.SetBitmaps(252, 251, 254, 253, 250, 249);
    build.SetState(ceph ? 2 : 1);
    s.TwoState(p, 1019, 231, 437, 244, 243, 245, 243, ceph ? 0 : 1);
    s.TwoState(p, 1020, 262, 437, 247, 246, 248, 246, ceph ? 1 : 0);
    if (ceph)
        s.Jolie(p, 1067, 232, 657, 531, 530, 531, 530);
    else
        s.Jolie(p, 1067, 232, 657, 282, 281, 282, 281);
    s.Jolie(p, 1068, 204, 60, 259, 260, 259, 260);
    s.Jolie(p, 1069, 166, 60, 262, 256, 262, 256);
    s.Jolie(p, 1070, 479, 537, 255, 261, 255, 261);
    s.Jolie(p, 1071, 373, 559, 264, 263, 264, 263);

    s.Caption(p, 1047, 133, 426, 118, 13, 12, "Program");
    s.Caption(p, 1048, 266, 426, 118, 13, 12, "Patient");
    s.Caption(p, 1049, ceph ? 368 : 363, 426, 118, 13, 12, "kV");
    s.Caption(p, 1051, ceph ? 420 : 424, 426, 118, 13, 12, "mA");
    s.Caption(p, 1053, ceph ? 476 : 486, 426, 118, 13, 12, "s");
    if (ceph)
        s.Caption(p, 1054, 537, 426, 118, 13, 12, "Dose");
    s.Caption(p, 1057, 768, 164, 129, 21, 20, "Program", ceph ? CLR_INVALID : kHighlight);
    s.Caption(p, 1058, 765, 201, 129, 21, 20, "Patient");
    s.Caption(p, 1059, 753, 235, 129, 21, 20, "Parameters", ceph ? kHighlight : CLR_INVALID);
    s.Caption(p, 1103, 212, 491, 27, 26, 12, "R");
    if (!ceph)
        s.Caption(p, 1075, 112, 445, 12, 13, 12, "x4");

    s.Value(p, 1055, 353, 445, 43, 35, 30, ceph ? "90" : "70", true);
    s.Value(p, 1056, ceph ? 404 : 414, 445, 43, 35, 30, ceph ? "12" : "8.0", true);
    s.Value(p, 1063, ceph ? 450 : 476, 445, 55, 35, 30, ceph ? "0.80" : "14.0", true);
    if (ceph)
        s.Value(p, 1064, 512, 445, 70, 35, 30, "1.25", true);
    s.Value(p, 1065, 112, 566, 259, 40, 25, ceph ? "X-rays emitted" : "Unit ready", false);
    s.Value(p, 1066, 409, 566, 55, 40, 25, ceph ? "I12" : "I01", false);
    s.Value(p, 1072, 522, 576, 75, 22, 20, ceph ? "01:30" : "00:00", false);

    if (ceph) {
        Sheet::Child(p, "STATIC", 23136, 92, 123, 505, 276);
        auto& pv = s.Add<CStaticPreview>();
        pv.Attach(23136, p);
        platform::WindowDc dc(p);
        preview = MakePreviewPicture(dc.Get(), 405, 236);
        pv.SetPreview(preview.Get());
    }

    HWND page = s.NewSurface(kPageBitmap, p, 607, 269, 332, 293, WS_CHILD | WS_VISIBLE);
    if (ceph)
        CephaloPage(s, page, 1, false);
    else
        ProgramPage(s, page, 1);
    return p;
}

HWND Pages(Sheet& s) {
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    HWND sheet = s.objects.front()->GetHwnd(); // the backdrop
    const int stepX = 342, stepY = 305, left = (w - 3 * stepX + 10) / 2, top = (h - 3 * stepY + 12) / 2;
    for (int slot = 0; slot < 9; ++slot) {
        HWND page = s.NewSurface(kPageBitmap, sheet, left + (slot % 3) * stepX, top + (slot / 3) * stepY, 332, 293,
                                 WS_CHILD | WS_VISIBLE);
        switch (slot) {
        case 0: ProgramPage(s, page, 0); break;
        case 1: ProgramPage(s, page, 1); break;
        case 2: PatientPage(s, page, 0); break;
        case 3: PatientPage(s, page, 1); break;
        case 4: ParameterPage(s, page, false); break;
        case 5: ParameterPage(s, page, true); break;
        case 6: CephaloPage(s, page, 0, false); break;
        case 7: CephaloPage(s, page, 1, true); break;
        default: CephaloPage(s, page, 0, true); break;
        }
    }
    return sheet;
}

struct Options {
    std::string sheet = "panel";
    std::string readyFile;
    std::string quitFile;
    int timeoutMs = 60000;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--sheet"))
            o.sheet = argv[i + 1];
        else if (!std::strcmp(argv[i], "--ready-file"))
            o.readyFile = argv[i + 1];
        else if (!std::strcmp(argv[i], "--quit-file"))
            o.quitFile = argv[i + 1];
        else if (!std::strcmp(argv[i], "--timeout-ms"))
            o.timeoutMs = std::atoi(argv[i + 1]);
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    platform::SetResourceModule(::GetModuleHandleA(nullptr));
    Sheet sheet;
    sheet.objects.push_back(std::make_unique<CBackWnd>(nullptr));
    platform::UniqueBitmap preview;
    HWND top = options.sheet == "pages" ? Pages(sheet) : Panel(sheet, options.sheet == "ceph", preview);
    if (!top)
        return 1;
    ::UpdateWindow(top);
    // Let every paint through before saying the sheet is ready.
    for (int round = 0; round < 20; ++round) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(25);
    }
    if (!options.readyFile.empty())
        if (FILE* f = std::fopen(options.readyFile.c_str(), "w"))
            std::fclose(f);
    const DWORD start = ::GetTickCount();
    ::SetTimer(nullptr, kQuitTimer, 100, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            const bool quit = !options.quitFile.empty() &&
                              ::GetFileAttributesA(options.quitFile.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (quit || ::GetTickCount() - start > static_cast<DWORD>(options.timeoutMs))
                break;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
