// Draws the whole skin (panel, pages, every control picture and mask, backdrop, icon) into BMP files
// and writes the resource fragment skin.rc that lists them. Usage: skin_generator OUTPUT_DIR
//
// Each control is drawn on a transparent layer at its place on the panel or on a page; its mask is
// the layer's shape (the union over all its states, so that no state is clipped by the window region)
// and its pictures are the layer laid over the background that lies behind it, so that anti-aliased
// edges blend into the housing. The generator refuses to write a skin whose pieces overlap, leave
// their surface, or whose masks would turn inside out (a mask's top-left pixel must see through).
#include "BmpFiles.h"
#include "Painting.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace skin {
namespace {

using namespace palette;
constexpr double kPi = 3.14159265358979323846;

constexpr int kPanelWidth = 1024, kPanelHeight = 768;
constexpr int kPageWidth = 332, kPageHeight = 293;

enum Surface { kPanel = 0, kProgramPage, kPatientPage, kParameterPage, kCephaloPage, kSurfaceCount };
const char* const kSurfaceNames[kSurfaceCount] = {"panel", "program page", "patient page", "parameter page",
                                                  "cephalometric page"};

// Layout variants: which pieces are on screen together. Pieces only collide within a shared variant.
enum Variant : unsigned {
    kPano = 1,      // panoramic designs, panoramic parameter layout
    kCeph = 2,      // cephalometric design and parameter layout
    kCephOpt2 = 4,  // the unit's cephalometric option 2 (mirrored lateral pictures)
    kLogoShort = 8, // the short logo
    kLogoLong = 16, // the long logo
    kAll = 31,
};

using Painter = std::function<void(cairo_t*, double w, double h, int state)>;

struct Control {
    std::string name;
    Surface surface;
    int x, y, w, h;
    unsigned variants;
    std::vector<int> images; // one per state
    std::vector<int> masks;  // all written with the control's one shape
    Painter paint;
};

struct Surfaces {
    cairo_surface_t* layer[kSurfaceCount] = {};
};

struct Output {
    std::string dir;
    std::map<int, std::string> files;         // id -> file name, for skin.rc
    std::map<int, Mask> masks;                // masks written so far (shared ids must agree)
    std::map<int, std::pair<int, int>> sizes; // id -> size
    int errors = 0;

    void Fail(const std::string& what) {
        std::fprintf(stderr, "skin: %s\n", what.c_str());
        ++errors;
    }
};

using Unique = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
Unique NewLayer(int w, int h) { return Unique(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), &cairo_surface_destroy); }

uint32_t PixelAt(cairo_surface_t* s, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride)[x];
}

Picture ToPicture(cairo_surface_t* s) {
    cairo_surface_flush(s);
    Picture p;
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    p.pixels.resize(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.pixels[static_cast<size_t>(y) * p.width + x] = PixelAt(s, x, y) & 0xFFFFFF;
    return p;
}

Mask ShapeOf(cairo_surface_t* s) {
    cairo_surface_flush(s);
    Mask m;
    m.width = cairo_image_surface_get_width(s);
    m.height = cairo_image_surface_get_height(s);
    m.shape.resize(static_cast<size_t>(m.width) * m.height);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            m.shape[static_cast<size_t>(y) * m.width + x] = (PixelAt(s, x, y) >> 24) >= 128;
    return m;
}

std::string FileName(int id, const std::string& what, const char* ext) {
    std::string clean;
    for (char c : what)
        clean += (std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_');
    return "skin_" + std::to_string(id) + "_" + clean + ext;
}

void EmitPicture(Output& out, int id, const std::string& what, const Picture& p) {
    const std::string name = FileName(id, what, ".bmp");
    if (!WritePicture(out.dir + "/" + name, p))
        out.Fail("cannot write " + name);
    out.files[id] = name;
    out.sizes[id] = {p.width, p.height};
}

void EmitMask(Output& out, int id, const std::string& what, const Mask& m) {
    auto known = out.masks.find(id);
    if (known != out.masks.end()) {
        if (known->second.width != m.width || known->second.height != m.height || known->second.shape != m.shape)
            out.Fail("mask " + std::to_string(id) + " is shared by pieces of different shapes (" + what + ")");
        return;
    }
    if (m.width > 0 && m.At(0, 0))
        out.Fail("mask " + std::to_string(id) + " (" + what + ") covers its top-left pixel and would turn inside out");
    const std::string name = FileName(id, what + " mask", ".bmp");
    if (!WriteMask(out.dir + "/" + name, m))
        out.Fail("cannot write " + name);
    out.masks[id] = m;
    out.files[id] = name;
    out.sizes[id] = {m.width, m.height};
}

// Pictures of every surface with its pieces laid on in one state, for looking at the skin while it
// is drawn (skin_generator OUTPUT_DIR --preview).
struct Preview {
    Unique layer[kSurfaceCount] = {Unique(nullptr, &cairo_surface_destroy), Unique(nullptr, &cairo_surface_destroy),
                                   Unique(nullptr, &cairo_surface_destroy), Unique(nullptr, &cairo_surface_destroy),
                                   Unique(nullptr, &cairo_surface_destroy)};
    unsigned variants = kPano | kLogoShort;
    int state = 1;
};

void Produce(Output& out, const Surfaces& bg, const Control& c, Preview* preview) {
    // Union of the states' shapes.
    std::vector<Unique> layers;
    Mask shape;
    for (size_t state = 0; state < c.images.size(); ++state) {
        Unique layer = NewLayer(c.w, c.h);
        cairo_t* cr = cairo_create(layer.get());
        c.paint(cr, c.w, c.h, static_cast<int>(state));
        cairo_destroy(cr);
        Mask m = ShapeOf(layer.get());
        if (shape.shape.empty())
            shape = m;
        else
            for (size_t i = 0; i < m.shape.size(); ++i)
                shape.shape[i] = shape.shape[i] || m.shape[i];
        layers.push_back(std::move(layer));
    }
    for (int id : c.masks)
        EmitMask(out, id, c.name, shape);
    for (size_t state = 0; state < c.images.size(); ++state) {
        const int id = c.images[state];
        if (out.files.count(id)) { // the same picture serves several places (parameter displays, keys)
            if (out.sizes[id] != std::pair<int, int>{c.w, c.h})
                out.Fail("picture " + std::to_string(id) + " is used at two sizes");
            continue;
        }
        Unique picture = NewLayer(c.w, c.h);
        cairo_t* cr = cairo_create(picture.get());
        cairo_set_source_surface(cr, bg.layer[c.surface], -c.x, -c.y);
        cairo_paint(cr);
        cairo_set_source_surface(cr, layers[state].get(), 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        EmitPicture(out, id, c.name + (c.images.size() > 1 ? " state " + std::to_string(state) : ""),
                    ToPicture(picture.get()));
    }
    if (preview && (c.variants & preview->variants)) {
        Unique& target = preview->layer[c.surface];
        if (!target) {
            target = NewLayer(cairo_image_surface_get_width(bg.layer[c.surface]),
                              cairo_image_surface_get_height(bg.layer[c.surface]));
            cairo_t* cr = cairo_create(target.get());
            cairo_set_source_surface(cr, bg.layer[c.surface], 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
        cairo_t* cr = cairo_create(target.get());
        const size_t state = std::min<size_t>(preview->state, layers.size() - 1);
        cairo_set_source_surface(cr, layers[state].get(), c.x, c.y);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
}

// Every piece inside its surface, and no two pieces of one surface on screen together overlapping.
void CheckLayout(Output& out, const std::vector<Control>& controls) {
    const int limits[kSurfaceCount][2] = {{kPanelWidth, kPanelHeight},
                                          {kPageWidth, kPageHeight},
                                          {kPageWidth, kPageHeight},
                                          {kPageWidth, kPageHeight},
                                          {kPageWidth, kPageHeight}};
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& a = controls[i];
        if (a.x < 0 || a.y < 0 || a.x + a.w > limits[a.surface][0] || a.y + a.h > limits[a.surface][1])
            out.Fail(a.name + " leaves the " + kSurfaceNames[a.surface]);
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control& b = controls[j];
            if (a.surface != b.surface || !(a.variants & b.variants))
                continue;
            if (a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
                out.Fail(a.name + " overlaps " + b.name + " on the " + kSurfaceNames[a.surface]);
        }
    }
}

// ---- Common pieces -------------------------------------------------------------------------------

// Ink of the light displays: lit segments dark, unlit ones a faint ghost, as on a real LCD.
Colour InkFor(bool lit) { return lit ? kInk : Mix(kLcd, kInk, 0.16); }

void LitKeyLed(cairo_t* cr, double w, bool lit) { Led(cr, w - 8, 8, 3, kGreen, lit); }

// A light selection key on a page: face lit when selected, pictogram drawn by `content` inside.
Painter LightKey(std::function<void(cairo_t*, double w, double h, bool lit)> content, double radius = 8) {
    return [content, radius](cairo_t* cr, double w, double h, int state) {
        const bool lit = state != 0;
        KeyCap(cr, 0, 0, w, h, radius, lit ? kKeyLit : kKeyLight, false);
        content(cr, w, h, lit);
        LitKeyLed(cr, w, lit);
    };
}

// Part of the arch shown in a window (arch units) and fitted to the key's face.
void ArchWindow(cairo_t* cr, double w, double h, double ax, double ay, double aw, double ah, unsigned part,
                bool lit) {
    cairo_save(cr);
    RoundRect(cr, 4, 4, w - 8, h - 8, 5);
    cairo_clip(cr);
    const double s = std::min((w - 14) / aw, (h - 14) / ah);
    cairo_translate(cr, w / 2 - (ax + aw / 2) * s, h / 2 - (ay + ah / 2) * s);
    cairo_scale(cr, s, s);
    const Colour on = lit ? Hex(0x0B3A66) : kInk;
    const Colour off = Mix(lit ? kKeyLit : kKeyLight, kInk, 0.22);
    Arch(cr, part, kTmjLeft | kMolarLeft | kIncisive | kMolarRight | kTmjRight | kSinus, on, off);
    cairo_restore(cr);
}

// A dark key of the panel with a pictogram.
Painter DarkKey(std::function<void(cairo_t*, double w, double h, int state)> content, Colour face = kKeyDark) {
    return [content, face](cairo_t* cr, double w, double h, int state) {
        KeyCap(cr, 0, 0, w, h, 9, face, false);
        content(cr, w, h, state);
    };
}

// ---- Backgrounds ---------------------------------------------------------------------------------

void BodyOutline(cairo_t* cr) { RoundRect(cr, 6, 6, kPanelWidth - 12, kPanelHeight - 12, 52); }

// Knob centre and where its three positions point: at the three page captions.
constexpr double kKnobSize = 110, kKnobX = 617 + kKnobSize / 2, kKnobY = 141 + kKnobSize / 2;
const double kCaptionTargets[3][2] = {{768, 175}, {765, 212}, {753, 246}};
double KnobAngle(int state) {
    return std::atan2(kCaptionTargets[state][1] - kKnobY, kCaptionTargets[state][0] - kKnobX);
}

void SmallLegend(cairo_t* cr, const char* text, double cx, double cy) {
    Text(cr, text, cx, cy, 9.5, Mix(kLegend, kBody, 0.35));
}

void PaintPanel(cairo_t* cr) {
    SetColour(cr, {0, 0, 0});
    cairo_paint(cr);
    // Housing: graphite, lighter at the top, with a chamfer catching the light.
    BodyOutline(cr);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, kPanelHeight);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.24, 0.255, 0.28);
    cairo_pattern_add_color_stop_rgb(body, 0.5, kBody.r, kBody.g, kBody.b);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.13, 0.14, 0.155);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    RoundRect(cr, 7.5, 7.5, kPanelWidth - 15, kPanelHeight - 15, 51);
    cairo_set_line_width(cr, 3);
    SetColour(cr, kBodyEdge, 0.9);
    cairo_stroke(cr);
    RoundRect(cr, 12, 12, kPanelWidth - 24, kPanelHeight - 24, 47);
    cairo_set_line_width(cr, 1);
    SetColour(cr, {0, 0, 0}, 0.5);
    cairo_stroke(cr);
    // A thin accent line under the top strip.
    cairo_rectangle(cr, 60, 40, kPanelWidth - 120, 1.5);
    SetColour(cr, kBlue, 0.7);
    cairo_fill(cr);

    // Top strip: information key and the warning signs.
    cairo_arc(cr, 52 + 28, 58 + 28, 32, 0, 2 * kPi);
    SetColour(cr, kBodyDeep);
    cairo_fill(cr);
    Text(cr, "PANORAMIC  \xC2\xB7  CEPHALOMETRIC", 800, 90, 15, Mix(kLegend, kBody, 0.3));
    Text(cr, "X-RAY ACQUISITION", 800, 112, 10.5, Mix(kLegend, kBody, 0.5), false);

    // Preview screen.
    Well(cr, 82, 113, 525, 296, 10);
    cairo_rectangle(cr, 92, 123, 505, 276);
    cairo_pattern_t* screen = cairo_pattern_create_radial(92 + 252, 123 + 110, 20, 92 + 252, 123 + 138, 320);
    cairo_pattern_add_color_stop_rgb(screen, 0, 0.10, 0.13, 0.17);
    cairo_pattern_add_color_stop_rgb(screen, 1, 0.03, 0.04, 0.05);
    cairo_set_source(cr, screen);
    cairo_fill(cr);
    cairo_pattern_destroy(screen);
    cairo_set_line_width(cr, 1);
    SetColour(cr, {0.4, 0.55, 0.7}, 0.07);
    for (int gx = 92 + 42; gx < 597; gx += 42) {
        cairo_move_to(cr, gx + 0.5, 123);
        cairo_line_to(cr, gx + 0.5, 399);
    }
    for (int gy = 123 + 46; gy < 399; gy += 46) {
        cairo_move_to(cr, 92, gy + 0.5);
        cairo_line_to(cr, 597, gy + 0.5);
    }
    cairo_stroke(cr);

    // Recap display: captions, program, patient and shot values.
    LcdGlass(cr, 100, 420, 500, 96, 7);
    // Message, code and waiting-time displays.
    LcdGlass(cr, 104, 561, 265, 44, 6);
    LcdGlass(cr, 409, 561, 60, 44, 6);
    LcdGlass(cr, 520, 572, 80, 29, 5);

    // Page selector: a recess for the knob, three position marks, and the caption plate.
    cairo_arc(cr, kKnobX, kKnobY, kKnobSize / 2 + 3, 0, 2 * kPi);
    SetColour(cr, kBodyDeep);
    cairo_fill(cr);
    RoundRect(cr, 746, 156, 164, 106, 9);
    cairo_pattern_t* plate = cairo_pattern_create_linear(0, 156, 0, 262);
    cairo_pattern_add_color_stop_rgb(plate, 0, kPlate.r + 0.06, kPlate.g + 0.06, kPlate.b + 0.06);
    cairo_pattern_add_color_stop_rgb(plate, 1, kPlate.r - 0.04, kPlate.g - 0.04, kPlate.b - 0.04);
    cairo_set_source(cr, plate);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(plate);
    cairo_set_line_width(cr, 1);
    SetColour(cr, {0, 0, 0}, 0.5);
    cairo_stroke(cr);
    for (int s = 0; s < 3; ++s) {
        const double a = KnobAngle(s);
        cairo_set_line_width(cr, 2);
        SetColour(cr, kLegend, 0.75);
        const double r = kKnobSize / 2 + 6;
        cairo_move_to(cr, kKnobX + r * std::cos(a), kKnobY + r * std::sin(a));
        cairo_line_to(cr, 746, kCaptionTargets[s][1]);
        cairo_stroke(cr);
        cairo_arc(cr, kKnobX + r * std::cos(a), kKnobY + r * std::sin(a), 2.5, 0, 2 * kPi);
        cairo_fill(cr);
    }

    // Page area.
    Well(cr, 601, 263, 344, 305, 8);

    // Right row: laser, reset, ready and emission, with their legends.
    Well(cr, 657, 577, 58, 58, 11);
    Well(cr, 717, 577, 58, 58, 11);
    cairo_arc(cr, 808 + 27, 579 + 27, 30, 0, 2 * kPi);
    SetColour(cr, kBodyDeep);
    cairo_fill(cr);
    cairo_arc(cr, 865 + 27, 579 + 27, 30, 0, 2 * kPi);
    cairo_fill(cr);
    SmallLegend(cr, "LASER", 686, 645);
    SmallLegend(cr, "RESET", 746, 645);
    SmallLegend(cr, "READY", 835, 645);
    SmallLegend(cr, "X-RAY", 892, 645);

    // Bottom row: NOX, voice, logo, exit.
    Well(cr, 85, 653, 54, 54, 10);
    Well(cr, 139, 653, 54, 54, 10);
    Well(cr, 887, 652, 62, 62, 12);
    SmallLegend(cr, "NOX", 112, 717);
    SmallLegend(cr, "VOICE", 166, 717);
    SmallLegend(cr, "EXIT", 918, 722);
    // Speaker grille beside the logo.
    SetColour(cr, kBodyDeep);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 22; ++col) {
            cairo_arc(cr, 580 + col * 12 + (row % 2) * 6, 664 + row * 10, 2.2, 0, 2 * kPi);
            cairo_fill(cr);
        }
}

void PaintWindowShape(cairo_t* cr) {
    SetColour(cr, {0, 0, 0});
    BodyOutline(cr);
    cairo_fill(cr);
}

void PaintPage(cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, kPageHeight);
    const Colour top = Mix(kPage, {1, 1, 1}, 0.08), bottom = Mix(kPage, {0, 0, 0}, 0.12);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 2);
    SetColour(cr, {0, 0, 0}, 0.45);
    cairo_rectangle(cr, 1, 1, kPageWidth - 2, kPageHeight - 2);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1);
    SetColour(cr, {1, 1, 1}, 0.25);
    cairo_rectangle(cr, 3.5, 3.5, kPageWidth - 7, kPageHeight - 7);
    cairo_stroke(cr);
}

void PaintBackdrop(cairo_t* cr, int w, int h) {
    cairo_pattern_t* p = cairo_pattern_create_radial(w / 2.0, h * 0.45, 10, w / 2.0, h / 2.0, w * 0.7);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.16, 0.19, 0.23);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.04, 0.05, 0.06);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
}

void PaintIcon(cairo_t* cr, int size) {
    const double s = size / 32.0;
    cairo_scale(cr, s, s);
    RoundRect(cr, 1, 1, 30, 30, 7);
    SetColour(cr, kBody);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.2);
    SetColour(cr, kBodyEdge);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, 2.5, 4);
    cairo_scale(cr, 27 / 110.0, 27 / 110.0 * 1.4);
    Arch(cr, kIncisive | kMolarLeft | kMolarRight | kTmjLeft | kTmjRight, 63, kKeyLit, kKeyLit);
    cairo_restore(cr);
    Led(cr, 25, 7, 2.5, kGreen, true);
}

// ---- The pieces ----------------------------------------------------------------------------------

std::vector<Control> PanelControls() {
    std::vector<Control> v;
    // Page selector: a knob whose pointer faces the caption of its page.
    v.push_back({"page selector", kPanel, 617, 141, int(kKnobSize), int(kKnobSize), kAll, {241, 240, 242},
                 {237, 239, 238}, [](cairo_t* cr, double w, double h, int state) {
                     const double cx = w / 2, cy = h / 2;
                     RoundKeyCap(cr, cx, cy, w / 2 - 1, kKeyDark, false);
                     cairo_arc(cr, cx, cy, w / 2 - 14, 0, 2 * kPi);
                     SetColour(cr, {0, 0, 0}, 0.25);
                     cairo_set_line_width(cr, 2);
                     cairo_stroke(cr);
                     const double a = KnobAngle(state);
                     cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                     cairo_set_line_width(cr, 7);
                     SetColour(cr, kKeyLit);
                     cairo_move_to(cr, cx + 14 * std::cos(a), cy + 14 * std::sin(a));
                     cairo_line_to(cr, cx + (w / 2 - 9) * std::cos(a), cy + (w / 2 - 9) * std::sin(a));
                     cairo_stroke(cr);
                 }});
    v.push_back({"voice", kPanel, 141, 655, 50, 50, kAll, {131, 132}, {130},
                 DarkKey([](cairo_t* cr, double w, double h, int state) {
                     Speaker(cr, w / 2 - 2, h / 2 + 2, 30, state != 0, kLegend);
                     Led(cr, w - 8, 8, 3, kGreen, state != 0);
                 })});
    v.push_back({"emission lamp", kPanel, 865, 579, 54, 54, kAll, {134, 424}, {133},
                 [](cairo_t* cr, double w, double h, int state) {
                     Lamp(cr, w / 2, h / 2, 26.5, kAmber, state != 0);
                     Trefoil(cr, w / 2, h / 2, 12, state != 0 ? Hex(0x2A1A00) : Mix(kAmber, {0, 0, 0}, 0.55));
                 }});
    v.push_back({"ready lamp", kPanel, 808, 579, 54, 54, kAll, {137, 138}, {136},
                 [](cairo_t* cr, double w, double h, int state) {
                     Lamp(cr, w / 2, h / 2, 26.5, kGreen, state != 0);
                     Tick(cr, w / 2, h / 2 + 1, 24, state != 0 ? Hex(0x0B3316) : Mix(kGreen, {0, 0, 0}, 0.55));
                 }});
    v.push_back({"information", kPanel, 52, 58, 56, 56, kAll, {140, 141}, {139},
                 [](cairo_t* cr, double w, double h, int state) {
                     RoundKeyCap(cr, w / 2, h / 2, 27.5, kBlue, state != 0);
                     const double dy = state != 0 ? 1 : 0;
                     cairo_arc(cr, w / 2, h / 2 - 11 + dy, 3.6, 0, 2 * kPi);
                     SetColour(cr, kLegend);
                     cairo_fill(cr);
                     RoundRect(cr, w / 2 - 3.3, h / 2 - 4 + dy, 6.6, 20, 2);
                     cairo_fill(cr);
                 }});
    v.push_back({"laser", kPanel, 659, 579, 54, 54, kAll, {143, 144}, {142},
                 DarkKey([](cairo_t* cr, double w, double h, int state) {
                     LaserMark(cr, w / 2, h / 2, 30, state != 0 ? Hex(0xFF4A3A) : kLegend);
                     Led(cr, w - 8, 8, 3, Hex(0xFF4A3A), state != 0);
                 })});
    v.push_back({"reset", kPanel, 719, 579, 54, 54, kAll, {153, 147}, {145},
                 [](cairo_t* cr, double w, double h, int state) {
                     KeyCap(cr, 0, 0, w, h, 9, kKeyDark, state != 0);
                     ResetArrow(cr, w / 2, h / 2 + (state != 0 ? 1 : 0), 30, kLegend);
                 }});
    v.push_back({"nox", kPanel, 87, 655, 50, 50, kAll, {149, 150, 278}, {148},
                 DarkKey([](cairo_t* cr, double w, double h, int state) {
                     Text(cr, "NOX", w / 2, h / 2 + 3, 14, kLegend);
                     Led(cr, w / 2 - 7, 11, 3, kGreen, state >= 1);
                     Led(cr, w / 2 + 7, 11, 3, kGreen, state >= 2);
                 })});
    v.push_back({"exit", kPanel, 890, 655, 56, 56, kAll, {152, 146}, {151},
                 [](cairo_t* cr, double w, double h, int state) {
                     KeyCap(cr, 0, 0, w, h, 10, kRed, state != 0);
                     Cross(cr, w / 2, h / 2 + (state != 0 ? 1 : 0), 20, 5, kLegend);
                 }});

    // Program recap: the arch on the recap display, one piece per part.
    struct RecapPart {
        const char* name;
        int x, y, w, h, image0, mask, image1;
        unsigned part;
    };
    const RecapPart parts[] = {
        {"recap tmj right", 199, 461, 15, 27, 220, 219, 221, kTmjRight},
        {"recap tmj left", 107, 461, 15, 27, 216, 222, 224, kTmjLeft},
        {"recap incisive", 151, 465, 18, 21, 233, 225, 227, kIncisive},
        {"recap molar right", 170, 465, 28, 21, 229, 228, 230, kMolarRight},
        {"recap molar left", 123, 465, 27, 21, 217, 223, 218, kMolarLeft},
        {"recap sinus", 145, 444, 30, 19, 232, 231, 226, kSinus},
    };
    for (const RecapPart& p : parts) {
        const int x = p.x, y = p.y;
        const unsigned part = p.part;
        v.push_back({p.name, kPanel, p.x, p.y, p.w, p.h, kPano, {p.image0, p.image1}, {p.mask},
                     [x, y, part](cairo_t* cr, double, double, int state) {
                         cairo_translate(cr, 106 - x, 441 - y);
                         Arch(cr, state != 0 ? part : 0, part, InkFor(true), InkFor(false));
                     }});
    }
    v.push_back({"recap build", kPanel, 297, 441, 50, 44, kAll, {252, 254, 250}, {251, 253, 249},
                 [](cairo_t* cr, double w, double h, int state) {
                     const double girth[3] = {0.62, 1.0, 1.42};
                     Person(cr, 0, 1, w, h - 2, girth[state], false, InkFor(true));
                 }});
    v.push_back({"recap adult", kPanel, 231, 437, 30, 48, kAll, {244, 245}, {243},
                 [](cairo_t* cr, double w, double h, int state) {
                     Person(cr, 0, 1, w, h - 2, 1.0, false, InkFor(state != 0));
                 }});
    v.push_back({"recap child", kPanel, 262, 437, 32, 48, kAll, {247, 248}, {246},
                 [](cairo_t* cr, double w, double h, int state) {
                     Person(cr, 2, h - 35, w - 4, 34, 1.0, true, InkFor(state != 0));
                 }});

    // Cephalometric recap: the view on a framed tile; states follow the unit's view order.
    struct View {
        HeadView head;
        bool hand;
        const char* label;
    };
    auto cephTile = [](View view) {
        return [view](cairo_t* cr, double w, double h) {
            RoundRect(cr, 1, 1, w - 2, h - 2, 6);
            SetColour(cr, Mix(kLcd, {1, 1, 1}, 0.3));
            cairo_fill_preserve(cr);
            cairo_set_line_width(cr, 1.5);
            SetColour(cr, kInk);
            cairo_stroke(cr);
            if (view.hand)
                Hand(cr, 2, 3, 44, h - 6, kInk);
            else
                Head(cr, 2, 3, 44, h - 6, view.head, kInk, Mix(kLcd, {1, 1, 1}, 0.3));
            Text(cr, view.label, 46 + (w - 48) / 2, h / 2, std::strlen(view.label) > 3 ? 9.5 : 13, kInk);
        };
    };
    const View views[6] = {{HeadView::AntPost, false, "AP"},       {HeadView::AntPost, true, "CARPUS"},
                           {HeadView::LateralRight, false, "LAT"}, {HeadView::Oblique, false, "OBL"},
                           {HeadView::PostAnt, false, "PA"},       {HeadView::SubVertex, false, "SV"}};
    v.push_back({"recap cephalometric view", kPanel, 120, 437, 86, 52, kCeph,
                 {499, 488, 490, 494, 496, 498}, {487, 489, 491, 495, 497, 486},
                 [cephTile, views](cairo_t* cr, double w, double h, int state) { cephTile(views[state])(cr, w, h); }});
    v.push_back({"recap lateral mirrored", kPanel, 120, 437, 86, 52, kCephOpt2, {492}, {493},
                 [cephTile](cairo_t* cr, double w, double h, int) {
                     cephTile({HeadView::LateralLeft, false, "LAT"})(cr, w, h);
                 }});

    // Logo: short and long forms on a dark plate.
    auto logo = [](bool longForm) {
        return [longForm](cairo_t* cr, double w, double h, int) {
            RoundRect(cr, 0, 0, w, h, 8);
            SetColour(cr, Hex(0x15181C));
            cairo_fill_preserve(cr);
            cairo_set_line_width(cr, 1);
            SetColour(cr, kBodyEdge, 0.6);
            cairo_stroke(cr);
            cairo_arc(cr, 28, h / 2, 14, 0, 2 * kPi);
            SetColour(cr, kBlue);
            cairo_fill(cr);
            cairo_save(cr);
            cairo_translate(cr, 17, h / 2 - 8);
            cairo_scale(cr, 22 / 110.0, 22 / 110.0 * 1.2);
            Arch(cr, 63, kIncisive | kMolarLeft | kMolarRight | kTmjLeft | kTmjRight, kLegend, kLegend);
            cairo_restore(cr);
            Text(cr, "LUMEN", 90, h / 2 - (longForm ? 0 : 0), 22, kLegend);
            Text(cr, "70", 150, h / 2, 22, kKeyLit);
            if (longForm)
                Text(cr, "DENTAL IMAGING", 234, h / 2 + 1, 12, Mix(kLegend, kBody, 0.35), false);
        };
    };
    v.push_back({"logo", kPanel, 232, 657, 173, 52, kLogoShort, {282, 282}, {281}, logo(false)});
    v.push_back({"logo long", kPanel, 232, 657, 296, 52, kLogoLong, {531, 531}, {530}, logo(true)});

    auto sign = [](std::function<void(cairo_t*, double, double)> symbol) {
        return [symbol](cairo_t* cr, double w, double h, int) {
            WarningTriangle(cr, 0, 0, w, h);
            symbol(cr, w / 2, h * 0.62);
        };
    };
    v.push_back({"radiation sign", kPanel, 204, 60, 36, 32, kAll, {259, 259}, {260},
                 sign([](cairo_t* cr, double cx, double cy) { Trefoil(cr, cx, cy + 1, 8.5, {0.05, 0.05, 0.05}); })});
    v.push_back({"attention sign", kPanel, 166, 60, 36, 32, kAll, {262, 262}, {256},
                 sign([](cairo_t* cr, double cx, double cy) {
                     SetColour(cr, {0.05, 0.05, 0.05});
                     RoundRect(cr, cx - 2, cy - 9, 4, 12, 1.5);
                     cairo_fill(cr);
                     cairo_arc(cr, cx, cy + 7, 2.2, 0, 2 * kPi);
                     cairo_fill(cr);
                 })});
    v.push_back({"temperature sign", kPanel, 479, 537, 34, 30, kAll, {255, 255}, {261},
                 sign([](cairo_t* cr, double cx, double cy) { Thermometer(cr, cx - 1, cy, 17, {0.05, 0.05, 0.05}); })});
    v.push_back({"manual sign", kPanel, 373, 559, 32, 32, kAll, {264, 264}, {263},
                 [](cairo_t* cr, double w, double h, int) {
                     cairo_arc(cr, w / 2, h / 2, w / 2 - 0.5, 0, 2 * kPi);
                     SetColour(cr, kLegend);
                     cairo_fill(cr);
                     cairo_arc(cr, w / 2, h / 2, w / 2 - 2.5, 0, 2 * kPi);
                     SetColour(cr, kBlue);
                     cairo_fill(cr);
                     Book(cr, w / 2, h / 2, 20, kLegend);
                 }});
    return v;
}

std::vector<Control> ProgramPageControls() {
    std::vector<Control> v;
    struct Key {
        const char* name;
        int x, y, w, h, image0, mask, image1;
        unsigned part;
        double ax, ay, aw, ah; // arch window
    };
    const Key keys[] = {
        {"tmj right key", 265, 127, 40, 64, 198, 210, 199, kTmjRight, 90.5, 16, 20, 33},
        {"tmj left key", 16, 127, 40, 64, 201, 200, 202, kTmjLeft, 0, 16, 20, 33},
        {"incisive key", 135, 139, 50, 60, 208, 207, 209, kIncisive, 43, 30, 24.5, 20},
        {"molar right key", 189, 138, 72, 60, 235, 236, 234, kMolarRight, 63, 26, 33, 22},
        {"molar left key", 58, 138, 72, 60, 212, 211, 213, kMolarLeft, 14.5, 26, 33, 22},
        {"sinus key", 119, 79, 92, 54, 215, 214, 197, kSinus, 35, 3, 40.5, 20},
    };
    for (const Key& k : keys) {
        const Key key = k;
        v.push_back({k.name, kProgramPage, k.x, k.y, k.w, k.h, kAll, {k.image0, k.image1}, {k.mask},
                     LightKey([key](cairo_t* cr, double w, double h, bool lit) {
                         ArchWindow(cr, w, h, key.ax, key.ay, key.aw, key.ah, key.part, lit);
                     })});
    }
    v.push_back({"tmj image count", kProgramPage, 20, 45, 44, 44, kAll, {203, 205, 206}, {204},
                 [](cairo_t* cr, double w, double h, int state) {
                     RoundKeyCap(cr, w / 2, h / 2, 21.5, state ? kKeyLit : kKeyLight, false);
                     Text(cr, state == 1 ? "x2" : "x4", w / 2, h / 2, 15, state ? Hex(0x0B3A66) : kInk);
                 }});
    // Cephalometry key: kept hidden by the page, but shaped as the laser key whose mask it shares.
    v.push_back({"cephalometry key", kProgramPage, 263, 38, 54, 54, kAll, {266, 265}, {142},
                 [](cairo_t* cr, double w, double h, int state) {
                     KeyCap(cr, 0, 0, w, h, 9, state ? kKeyLit : kKeyLight, false);
                     Head(cr, 6, 6, w - 12, h - 12, HeadView::LateralRight, kInk, state ? kKeyLit : kKeyLight);
                 }});
    return v;
}

std::vector<Control> PatientPageControls() {
    std::vector<Control> v;
    auto person = [](double girth, bool child) {
        return LightKey([girth, child](cairo_t* cr, double w, double h, bool lit) {
            const Colour ink = lit ? Hex(0x0B3A66) : kInk;
            if (child)
                Person(cr, 8, h - 12 - (h - 24) * 0.72, w - 16, (h - 24) * 0.72, 1.0, true, ink);
            else
                Person(cr, 8, 12, w - 16, h - 24, girth, false, ink);
        });
    };
    v.push_back({"adult key", kPatientPage, 103, 41, 56, 92, kAll, {163, 164}, {175}, person(1.0, false)});
    v.push_back({"child key", kPatientPage, 161, 41, 52, 92, kAll, {166, 167}, {165}, person(1.0, true)});
    v.push_back({"slim key", kPatientPage, 190, 173, 56, 96, kAll, {172, 174}, {171}, person(0.6, false)});
    v.push_back({"normal key", kPatientPage, 129, 173, 58, 96, kAll, {156, 157}, {155}, person(0.95, false)});
    v.push_back({"large key", kPatientPage, 70, 173, 58, 96, kAll, {169, 170}, {168}, person(1.38, false)});
    v.push_back({"separator", kPatientPage, 31, 141, 270, 10, kAll, {173, 173}, {162},
                 [](cairo_t* cr, double w, double h, int) {
                     RoundRect(cr, 0, 0, w, h, h / 2);
                     SetColour(cr, Mix(kPage, {0, 0, 0}, 0.45));
                     cairo_fill(cr);
                     RoundRect(cr, 2, 3, w - 4, h - 5, (h - 5) / 2);
                     SetColour(cr, Mix(kPage, {1, 1, 1}, 0.35));
                     cairo_fill(cr);
                 }});
    return v;
}

std::vector<Control> ParameterPageControls() {
    std::vector<Control> v;
    auto lcd = [](cairo_t* cr, double w, double h, int) { LcdGlass(cr, 2, 2, w - 4, h - 4, 6); };
    // The value displays trade pictures between the two layouts, so all four share one look.
    v.push_back({"kv display", kParameterPage, 31, 47, 96, 44, kPano, {183}, {182}, lcd});
    v.push_back({"ma display", kParameterPage, 135, 47, 96, 44, kPano, {185}, {184}, lcd});
    v.push_back({"time display", kParameterPage, 31, 203, 96, 44, kPano, {187}, {186}, lcd});
    v.push_back({"dose display", kParameterPage, 135, 203, 96, 44, kAll, {189}, {188}, lcd});
    v.push_back({"kv display ceph", kParameterPage, 22, 72, 96, 44, kCeph, {187}, {182}, lcd});
    v.push_back({"ma display ceph", kParameterPage, 126, 72, 96, 44, kCeph, {183}, {184}, lcd});
    v.push_back({"time display ceph", kParameterPage, 231, 72, 96, 44, kCeph, {185}, {186}, lcd});
    auto step = [](bool plus) {
        return [plus](cairo_t* cr, double w, double h, int state) {
            KeyCap(cr, 0, 0, w, h, 8, kKeyLight, state != 0);
            PlusMinus(cr, w / 2, h / 2 + (state ? 1 : 0), 16, plus, kInk);
        };
    };
    const struct {
        const char* name;
        int x, y;
        unsigned variants;
    } plusKeys[] = {{"kv plus", 53, 94, kPano}, {"ma plus", 156, 94, kPano},
                    {"kv plus ceph", 44, 119, kCeph}, {"ma plus ceph", 147, 119, kCeph},
                    {"time plus ceph", 251, 119, kCeph}};
    for (const auto& k : plusKeys) {
        v.push_back({k.name, kParameterPage, k.x, k.y, 52, 34, k.variants, {180, 181}, {179}, step(true)});
        v.push_back({std::string(k.name) + " minus", kParameterPage, k.x, k.y + 37, 52, 34, k.variants,
                     {177, 178}, {196}, step(false)});
    }
    v.push_back({"memory key", kParameterPage, 250, 204, 56, 44, kAll, {193, 190}, {195},
                 [](cairo_t* cr, double w, double h, int state) {
                     KeyCap(cr, 0, 0, w, h, 8, kKeyLight, state != 0);
                     const double dy = state ? 1 : 0;
                     RoundRect(cr, w / 2 - 13, h / 2 - 12 + dy, 26, 24, 3);
                     SetColour(cr, kInk);
                     cairo_fill(cr);
                     Text(cr, "M", w / 2, h / 2 + dy + 1, 16, kKeyLight);
                 }});
    return v;
}

std::vector<Control> CephaloPageControls() {
    std::vector<Control> v;
    auto view = [](HeadView head, bool hand, const char* label) {
        return LightKey([head, hand, label](cairo_t* cr, double w, double h, bool lit) {
            const Colour face = lit ? kKeyLit : kKeyLight;
            const Colour ink = lit ? Hex(0x0B3A66) : kInk;
            if (hand)
                Hand(cr, w / 2 - 30, 6, 60, 58, ink);
            else
                Head(cr, w / 2 - 30, 6, 60, 58, head, ink, face);
            Text(cr, label, w / 2, h - 14, 12, ink);
        });
    };
    v.push_back({"lateral key", kCephaloPage, 18, 41, 96, 88, kPano, {460, 461}, {464},
                 view(HeadView::LateralRight, false, "LATERAL")});
    v.push_back({"lateral key mirrored", kCephaloPage, 18, 41, 96, 88, kCephOpt2, {463, 459}, {462},
                 view(HeadView::LateralLeft, false, "LATERAL")});
    v.push_back({"ap key", kCephaloPage, 122, 41, 96, 88, kAll, {432, 431}, {433}, view(HeadView::AntPost, false, "AP")});
    v.push_back({"pa key", kCephaloPage, 225, 41, 96, 88, kAll, {441, 440}, {442}, view(HeadView::PostAnt, false, "PA")});
    v.push_back({"oblique key", kCephaloPage, 18, 160, 96, 88, kAll, {438, 437}, {439},
                 view(HeadView::Oblique, false, "OBLIQUE")});
    v.push_back({"sv key", kCephaloPage, 122, 160, 96, 88, kAll, {444, 443}, {445}, view(HeadView::SubVertex, false, "SV")});
    v.push_back({"carpus key", kCephaloPage, 225, 160, 96, 88, kAll, {435, 434}, {436}, view(HeadView::AntPost, true, "CARPUS")});
    auto step = [](bool plus) {
        return [plus](cairo_t* cr, double w, double h, int state) {
            KeyCap(cr, 0, 0, w, h, 6, kKeyLight, state != 0);
            PlusMinus(cr, w / 2, h / 2 + (state ? 1 : 0), 12, plus, kInk);
        };
    };
    v.push_back({"angle minus", kCephaloPage, 19, 252, 24, 30, kAll, {452, 454}, {453}, step(false)});
    v.push_back({"angle plus", kCephaloPage, 84, 252, 24, 30, kAll, {455, 456}, {448}, step(true)});
    // Angle display: clear glass while the oblique view shows its angle, dimmed otherwise.
    v.push_back({"angle display", kCephaloPage, 45, 252, 38, 30, kAll, {457, 485}, {458},
                 [](cairo_t* cr, double w, double h, int state) { LcdGlass(cr, 2, 2, w - 4, h - 4, 4, state != 0); }});
    return v;
}

Unique Render(int w, int h, const std::function<void(cairo_t*)>& paint) {
    Unique s = NewLayer(w, h);
    cairo_t* cr = cairo_create(s.get());
    paint(cr);
    cairo_destroy(cr);
    return s;
}

bool WriteRc(const Output& out) {
    FILE* f = std::fopen((out.dir + "/skin.rc").c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f, "// Generated by the skin generator: the skin's bitmaps and the module icon.\n");
    for (const auto& [id, name] : out.files)
        std::fprintf(f, "%d BITMAP \"%s\"\n", id, name.c_str());
    std::fprintf(f, "130 ICON \"skin_130_icon.ico\"\n");
    return std::fclose(f) == 0;
}

} // namespace
} // namespace skin

int main(int argc, char** argv) {
    using namespace skin;
    const bool wantPreview = argc == 3 && std::strcmp(argv[2], "--preview") == 0;
    if (argc != 2 && !wantPreview) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [--preview]\n", argv[0]);
        return 2;
    }
    Output out;
    out.dir = argv[1];

    Surfaces bg;
    Unique panel = Render(kPanelWidth, kPanelHeight, PaintPanel);
    Unique page = Render(kPageWidth, kPageHeight, PaintPage);
    bg.layer[kPanel] = panel.get();
    for (int s = kProgramPage; s < kSurfaceCount; ++s)
        bg.layer[s] = page.get();

    EmitPicture(out, 129, "panel", ToPicture(panel.get()));
    EmitPicture(out, 158, "page", ToPicture(page.get()));
    Unique shape = Render(kPanelWidth, kPanelHeight, PaintWindowShape);
    EmitMask(out, 284, "panel window", ShapeOf(shape.get()));
    Unique backdrop = Render(640, 480, [](cairo_t* cr) { PaintBackdrop(cr, 640, 480); });
    EmitPicture(out, 283, "backdrop", ToPicture(backdrop.get()));

    std::vector<Control> all;
    for (auto list : {PanelControls(), ProgramPageControls(), PatientPageControls(), ParameterPageControls(),
                      CephaloPageControls()})
        all.insert(all.end(), list.begin(), list.end());
    CheckLayout(out, all);
    Preview preview;
    for (const Control& c : all)
        Produce(out, bg, c, wantPreview ? &preview : nullptr);
    for (int s = 0; s < kSurfaceCount; ++s)
        if (preview.layer[s])
            cairo_surface_write_to_png(preview.layer[s].get(),
                                       (out.dir + "/preview_" + std::to_string(s) + ".png").c_str());

    // Sizes the layouts fix.
    const std::map<int, std::pair<int, int>> fixed = {{129, {1024, 768}}, {284, {1024, 768}}, {158, {332, 293}},
                                                      {531, {296, 52}},   {530, {296, 52}},   {282, {173, 52}},
                                                      {281, {173, 52}}};
    for (const auto& [id, size] : fixed)
        if (out.sizes[id] != size)
            out.Fail("bitmap " + std::to_string(id) + " has not the size its layout needs");

    std::vector<Picture> icon;
    for (int size : {32, 16}) {
        Unique s = Render(size, size, [size](cairo_t* cr) { PaintIcon(cr, size); });
        cairo_surface_flush(s.get());
        Picture p;
        p.width = p.height = size;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                p.pixels.push_back(PixelAt(s.get(), x, y));
        icon.push_back(std::move(p));
    }
    if (!WriteIcon(out.dir + "/skin_130_icon.ico", icon))
        out.Fail("cannot write the icon");
    if (!WriteRc(out))
        out.Fail("cannot write skin.rc");
    if (out.errors)
        return 1;
    std::printf("skin: %zu bitmaps written to %s\n", out.files.size(), out.dir.c_str());
    return 0;
}
