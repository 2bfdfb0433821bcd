// The skin's drawing vocabulary (see Painting.h).
#include "Painting.h"

#include <algorithm>
#include <cmath>

namespace skin {

Colour Hex(unsigned rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}
void SetColour(cairo_t* cr, Colour c, double alpha) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }
Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

namespace {
constexpr double kPi = 3.14159265358979323846;
Colour Lighter(Colour c, double t) { return Mix(c, {1, 1, 1}, t); }
Colour Darker(Colour c, double t) { return Mix(c, {0, 0, 0}, t); }

void VerticalGradient(cairo_t* cr, double y0, double y1, Colour top, Colour bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}
} // namespace

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

void KeyCap(cairo_t* cr, double x, double y, double w, double h, double r, Colour face, bool pressed) {
    // Dark rim: the gap between key and housing.
    RoundRect(cr, x, y, w, h, r);
    SetColour(cr, Darker(face, 0.65));
    cairo_fill(cr);
    // Cap: a pressed key sits lower and catches less light.
    const double inset = 1.5, drop = pressed ? 1.5 : 0.0;
    const Colour top = pressed ? Darker(face, 0.12) : Lighter(face, 0.18);
    const Colour bottom = pressed ? Darker(face, 0.02) : Darker(face, 0.16);
    RoundRect(cr, x + inset, y + inset + drop, w - 2 * inset, h - 2 * inset - drop, r - 1);
    VerticalGradient(cr, y, y + h, top, bottom);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, pressed ? Darker(face, 0.3) : Lighter(face, 0.35), 0.8);
    cairo_stroke(cr);
}

void RoundKeyCap(cairo_t* cr, double cx, double cy, double radius, Colour face, bool pressed) {
    cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
    SetColour(cr, Darker(face, 0.65));
    cairo_fill(cr);
    const double drop = pressed ? 1.2 : 0;
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - radius * 0.3, cy - radius * 0.4, radius * 0.1, cx, cy,
                                                     radius);
    const Colour hi = pressed ? Darker(face, 0.05) : Lighter(face, 0.3);
    const Colour lo = pressed ? Darker(face, 0.25) : Darker(face, 0.12);
    cairo_pattern_add_color_stop_rgb(p, 0, hi.r, hi.g, hi.b);
    cairo_pattern_add_color_stop_rgb(p, 1, lo.r, lo.g, lo.b);
    cairo_arc(cr, cx, cy + drop, radius - 1.6, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void Led(cairo_t* cr, double cx, double cy, double r, Colour colour, bool lit) {
    cairo_arc(cr, cx, cy, r + 1, 0, 2 * kPi);
    SetColour(cr, {0.1, 0.1, 0.1}, 0.7);
    cairo_fill(cr);
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.3, cy - r * 0.3, 0, cx, cy, r);
    const Colour core = lit ? Lighter(colour, 0.6) : Darker(colour, 0.55);
    const Colour edge = lit ? colour : Darker(colour, 0.75);
    cairo_pattern_add_color_stop_rgb(p, 0, core.r, core.g, core.b);
    cairo_pattern_add_color_stop_rgb(p, 1, edge.r, edge.g, edge.b);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void Lamp(cairo_t* cr, double cx, double cy, double radius, Colour colour, bool lit) {
    // Brushed bezel.
    cairo_pattern_t* bezel = cairo_pattern_create_linear(cx, cy - radius, cx, cy + radius);
    cairo_pattern_add_color_stop_rgb(bezel, 0, 0.75, 0.77, 0.80);
    cairo_pattern_add_color_stop_rgb(bezel, 1, 0.30, 0.32, 0.35);
    cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
    cairo_set_source(cr, bezel);
    cairo_fill(cr);
    cairo_pattern_destroy(bezel);
    const double glassR = radius * 0.8;
    cairo_arc(cr, cx, cy, glassR + 1, 0, 2 * kPi);
    SetColour(cr, {0.05, 0.05, 0.06});
    cairo_fill(cr);
    cairo_pattern_t* glass = cairo_pattern_create_radial(cx, cy - glassR * 0.2, glassR * 0.05, cx, cy, glassR);
    const Colour core = lit ? Lighter(colour, 0.75) : Darker(colour, 0.55);
    const Colour mid = lit ? colour : Darker(colour, 0.7);
    const Colour edge = lit ? Darker(colour, 0.2) : Darker(colour, 0.85);
    cairo_pattern_add_color_stop_rgb(glass, 0, core.r, core.g, core.b);
    cairo_pattern_add_color_stop_rgb(glass, 0.55, mid.r, mid.g, mid.b);
    cairo_pattern_add_color_stop_rgb(glass, 1, edge.r, edge.g, edge.b);
    cairo_arc(cr, cx, cy, glassR, 0, 2 * kPi);
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
    // Reflection on the glass.
    cairo_save(cr);
    cairo_translate(cr, cx - glassR * 0.25, cy - glassR * 0.45);
    cairo_scale(cr, glassR * 0.5, glassR * 0.28);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    SetColour(cr, {1, 1, 1}, lit ? 0.45 : 0.18);
    cairo_fill(cr);
}

void LcdGlass(cairo_t* cr, double x, double y, double w, double h, double r, bool dimmed) {
    RoundRect(cr, x - 2, y - 2, w + 4, h + 4, r + 2);
    SetColour(cr, {0.05, 0.06, 0.07});
    cairo_fill(cr);
    RoundRect(cr, x, y, w, h, r);
    const Colour base = dimmed ? Darker(palette::kLcd, 0.35) : palette::kLcd;
    VerticalGradient(cr, y, y + h, Lighter(base, 0.25), Darker(base, 0.06));
    cairo_fill(cr);
    // Inner shadow along the top edge: the glass sits behind the housing.
    cairo_save(cr);
    RoundRect(cr, x, y, w, h, r);
    cairo_clip(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + 5);
    cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, 0.35);
    cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0);
    cairo_rectangle(cr, x, y, w, 5);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

void Well(cairo_t* cr, double x, double y, double w, double h, double r) {
    RoundRect(cr, x, y, w, h, r);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.06, 0.065, 0.075);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.15, 0.16, 0.18);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 1);
    SetColour(cr, palette::kBodyEdge, 0.5);
    cairo_stroke(cr);
}

void Text(cairo_t* cr, const char* text, double cx, double cy, double size, Colour c, bool bold) {
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, cx - e.width / 2 - e.x_bearing, cy - e.height / 2 - e.y_bearing);
    SetColour(cr, c);
    cairo_show_text(cr, text);
}

// The arch frame: 110 x 50 units, the sinuses on top, the condyles and rami at the sides and the
// teeth along a gentle smile, mirrored about x = 55.25 as a panoramic picture shows them.
void Arch(cairo_t* cr, unsigned lit, unsigned shown, Colour on, Colour off) {
    auto paint = [&](unsigned part) { SetColour(cr, (lit & part) ? on : off); };
    auto mirrorX = [](double x) { return 110.5 - x; };
    for (int side = 0; side < 2; ++side) {
        const unsigned tmj = side == 0 ? kTmjLeft : kTmjRight;
        const unsigned molar = side == 0 ? kMolarLeft : kMolarRight;
        auto X = [&](double x) { return side == 0 ? x : mirrorX(x); };
        if (shown & tmj) {
            cairo_arc(cr, X(8.5), 24.5, 5.0, 0, 2 * kPi);
            paint(tmj);
            cairo_fill(cr);
            cairo_move_to(cr, X(5.5), 27);
            cairo_line_to(cr, X(11.8), 27);
            cairo_line_to(cr, X(13.0), 44.5);
            cairo_line_to(cr, X(7.0), 45.5);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
        if (shown & molar) {
            const double xs[3] = {23.0, 31.5, 40.0}, ys[3] = {34.5, 37.5, 39.5};
            paint(molar);
            for (int i = 0; i < 3; ++i) {
                RoundRect(cr, X(xs[i]) - 3.6, ys[i] - 4.6, 7.2, 9.2, 1.8);
                cairo_fill(cr);
            }
        }
    }
    if (shown & kIncisive) {
        paint(kIncisive);
        for (double x : {48.5, 53.0, 57.5, 62.0}) {
            RoundRect(cr, x - 1.9, 35.3, 3.8, 9.2, 1.4);
            cairo_fill(cr);
        }
    }
    if (shown & kSinus) {
        paint(kSinus);
        for (double x : {48.5, 62.0}) {
            cairo_save(cr);
            cairo_translate(cr, x, 12);
            cairo_scale(cr, 6.3, 5.3);
            cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
            cairo_restore(cr);
            cairo_fill(cr);
        }
    }
}

void Person(cairo_t* cr, double x, double y, double w, double h, double girth, bool child, Colour c) {
    // A standing figure: head, torso tapering to the hips, arms at the sides, two legs. A child has a
    // larger head for its height; girth widens torso and legs.
    const double cx = x + w / 2;
    const double headR = h * (child ? 0.12 : 0.095);
    const double headCy = y + headR + 0.5;
    const double shoulderY = headCy + headR + h * 0.035;
    const double hipY = y + h * 0.56;
    const double shoulder = std::min(w * 0.3 * girth, w * 0.42);
    const double hip = shoulder * (0.72 + 0.12 * girth);
    const double arm = std::max(1.6, w * 0.085);
    SetColour(cr, c);
    cairo_arc(cr, cx, headCy, headR, 0, 2 * kPi);
    cairo_fill(cr);
    const double round = std::min(shoulder * 0.45, h * 0.06);
    cairo_move_to(cr, cx - shoulder + round, shoulderY);
    cairo_line_to(cr, cx + shoulder - round, shoulderY);
    cairo_curve_to(cr, cx + shoulder, shoulderY, cx + shoulder, shoulderY, cx + shoulder, shoulderY + round);
    cairo_line_to(cr, cx + hip, hipY);
    cairo_line_to(cr, cx - hip, hipY);
    cairo_line_to(cr, cx - shoulder, shoulderY + round);
    cairo_curve_to(cr, cx - shoulder, shoulderY, cx - shoulder, shoulderY, cx - shoulder + round, shoulderY);
    cairo_close_path(cr);
    cairo_fill(cr);
    for (int side = -1; side <= 1; side += 2) {
        const double ax = cx + side * (shoulder + arm * 0.3 + 0.8) - arm / 2;
        RoundRect(cr, ax, shoulderY + 0.5, arm, h * 0.36, arm / 2);
        cairo_fill(cr);
    }
    const double gap = std::max(1.0, w * 0.035);
    const double leg = hip - gap / 2;
    RoundRect(cr, cx - hip, hipY - 1, leg, y + h - hipY + 1, std::min(leg * 0.4, 2.0));
    cairo_fill(cr);
    RoundRect(cr, cx + gap / 2, hipY - 1, leg, y + h - hipY + 1, std::min(leg * 0.4, 2.0));
    cairo_fill(cr);
}

namespace {
void Ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
}
void EarRod(cairo_t* cr, double cx, double cy, double len, Colour c) {
    cairo_set_line_width(cr, 2.2);
    SetColour(cr, c);
    cairo_move_to(cr, cx - len, cy);
    cairo_line_to(cr, cx + len, cy);
    cairo_stroke(cr);
}
} // namespace

void Head(cairo_t* cr, double x, double y, double w, double h, HeadView view, Colour c, Colour ground) {
    cairo_save(cr);
    const double s = std::min(w, h) / 40.0;
    cairo_translate(cr, x + w / 2, y + h / 2);
    cairo_scale(cr, s, s);
    SetColour(cr, c);
    switch (view) {
    case HeadView::LateralLeft:
        cairo_scale(cr, -1, 1);
        [[fallthrough]];
    case HeadView::LateralRight:
        // Profile facing right: cranium, forehead, nose, lips, chin, neck.
        cairo_move_to(cr, -13, 17);
        cairo_curve_to(cr, -15, 8, -19, 2, -17, -7);
        cairo_curve_to(cr, -15, -17, -3, -20, 6, -17);
        cairo_curve_to(cr, 12, -14, 14, -8, 14, -3);
        cairo_line_to(cr, 18, 3);
        cairo_line_to(cr, 14.5, 4.5);
        cairo_line_to(cr, 15, 8);
        cairo_line_to(cr, 13.5, 10);
        cairo_curve_to(cr, 13.5, 13, 12, 14, 8, 14);
        cairo_line_to(cr, 3, 13);
        cairo_line_to(cr, 2, 19);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_arc(cr, -3, -1, 2.6, 0, 2 * kPi); // ear rod seen end-on
        SetColour(cr, ground);
        cairo_fill(cr);
        break;
    case HeadView::PostAnt:
    case HeadView::AntPost:
        Ellipse(cr, 0, -1, 12.5, 16);
        cairo_fill(cr);
        EarRod(cr, -14, 0, 5, c);
        EarRod(cr, 14, 0, 5, c);
        RoundRect(cr, -5, 13, 10, 7, 2);
        SetColour(cr, c);
        cairo_fill(cr);
        if (view == HeadView::AntPost) { // the face turned to the viewer
            SetColour(cr, ground);
            Ellipse(cr, -5, -3, 2.6, 1.8);
            cairo_fill(cr);
            Ellipse(cr, 5, -3, 2.6, 1.8);
            cairo_fill(cr);
            cairo_set_line_width(cr, 1.6);
            cairo_move_to(cr, 0, -1);
            cairo_line_to(cr, -1.4, 4);
            cairo_line_to(cr, 1, 4);
            cairo_stroke(cr);
            cairo_move_to(cr, -4, 8);
            cairo_curve_to(cr, -2, 9.5, 2, 9.5, 4, 8);
            cairo_stroke(cr);
        } else { // the back of the head: hair line
            SetColour(cr, ground);
            cairo_set_line_width(cr, 1.6);
            cairo_move_to(cr, -9, 5);
            cairo_curve_to(cr, -4, 8, 4, 8, 9, 5);
            cairo_stroke(cr);
        }
        break;
    case HeadView::Oblique:
        cairo_save(cr);
        cairo_rotate(cr, -0.35);
        Ellipse(cr, -1, -1, 12, 16);
        cairo_fill(cr);
        cairo_move_to(cr, 10, -2);
        cairo_line_to(cr, 15, 3);
        cairo_line_to(cr, 10, 5);
        cairo_fill(cr);
        cairo_restore(cr);
        cairo_set_line_width(cr, 1.8);
        cairo_arc(cr, -6, 16, 12, -kPi / 2 - 0.1, -kPi / 4);
        cairo_stroke(cr);
        cairo_move_to(cr, -6, 16);
        cairo_line_to(cr, -6, 3);
        cairo_stroke(cr);
        break;
    case HeadView::SubVertex:
        // Seen from under the chin: round skull, nose pointing up, ear rods at the sides.
        Ellipse(cr, 0, 2, 13, 15);
        cairo_fill(cr);
        cairo_move_to(cr, -4, -11);
        cairo_line_to(cr, 0, -18);
        cairo_line_to(cr, 4, -11);
        cairo_fill(cr);
        EarRod(cr, -15, 2, 4, c);
        EarRod(cr, 15, 2, 4, c);
        SetColour(cr, ground);
        Ellipse(cr, 0, 2, 6, 4.5);
        cairo_fill(cr);
        break;
    }
    cairo_restore(cr);
}

void Hand(cairo_t* cr, double x, double y, double w, double h, Colour c) {
    cairo_save(cr);
    const double s = std::min(w, h) / 40.0;
    cairo_translate(cr, x + w / 2, y + h / 2);
    cairo_scale(cr, s, s);
    SetColour(cr, c);
    RoundRect(cr, -9, -2, 17, 17, 4); // palm
    cairo_fill(cr);
    RoundRect(cr, -5, 13, 10, 7, 2); // wrist
    cairo_fill(cr);
    const double fx[4] = {-8, -3.5, 1, 5.5}, top[4] = {-14, -18, -17, -12};
    for (int i = 0; i < 4; ++i) {
        RoundRect(cr, fx[i], top[i], 3.6, 1 - top[i], 1.8);
        cairo_fill(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, 7, 4);
    cairo_rotate(cr, -0.7);
    RoundRect(cr, -1.8, -11, 3.8, 12, 1.8); // thumb
    cairo_restore(cr);
    cairo_fill(cr);
    cairo_restore(cr);
}

void Trefoil(cairo_t* cr, double cx, double cy, double r, Colour c) {
    SetColour(cr, c);
    for (int i = 0; i < 3; ++i) {
        const double a = -kPi / 2 + i * 2 * kPi / 3 + kPi / 3;
        cairo_arc(cr, cx, cy, r, a - kPi / 6, a + kPi / 6); // blades stop short of the hub
        cairo_arc_negative(cr, cx, cy, r * 0.34, a + kPi / 6, a - kPi / 6);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_arc(cr, cx, cy, r * 0.22, 0, 2 * kPi);
    cairo_fill(cr);
}

void Speaker(cairo_t* cr, double cx, double cy, double s, bool waves, Colour c) {
    SetColour(cr, c);
    cairo_move_to(cr, cx - s * 0.55, cy - s * 0.18);
    cairo_line_to(cr, cx - s * 0.3, cy - s * 0.18);
    cairo_line_to(cr, cx - s * 0.02, cy - s * 0.45);
    cairo_line_to(cr, cx - s * 0.02, cy + s * 0.45);
    cairo_line_to(cr, cx - s * 0.3, cy + s * 0.18);
    cairo_line_to(cr, cx - s * 0.55, cy + s * 0.18);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_set_line_width(cr, s * 0.09);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    if (waves) {
        for (double r : {0.22, 0.40}) {
            cairo_arc(cr, cx + s * 0.02, cy, s * r, -0.8, 0.8);
            cairo_stroke(cr);
        }
    } else { // muted: a small cross
        cairo_move_to(cr, cx + s * 0.15, cy - s * 0.15);
        cairo_line_to(cr, cx + s * 0.45, cy + s * 0.15);
        cairo_move_to(cr, cx + s * 0.45, cy - s * 0.15);
        cairo_line_to(cr, cx + s * 0.15, cy + s * 0.15);
        cairo_stroke(cr);
    }
}

void LaserMark(cairo_t* cr, double cx, double cy, double s, Colour c) {
    SetColour(cr, c);
    cairo_set_line_width(cr, s * 0.07);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx - s * 0.5, cy);
    cairo_line_to(cr, cx + s * 0.5, cy);
    cairo_move_to(cr, cx, cy - s * 0.5);
    cairo_line_to(cr, cx, cy + s * 0.5);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, s * 0.26, 0, 2 * kPi);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, s * 0.08, 0, 2 * kPi);
    cairo_fill(cr);
}

void ResetArrow(cairo_t* cr, double cx, double cy, double s, Colour c) {
    SetColour(cr, c);
    cairo_set_line_width(cr, s * 0.1);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, cx, cy, s * 0.34, -kPi * 0.35, kPi * 1.45);
    cairo_stroke(cr);
    const double a = -kPi * 0.35;
    const double tx = cx + s * 0.34 * std::cos(a), ty = cy + s * 0.34 * std::sin(a);
    cairo_move_to(cr, tx + s * 0.17, ty - s * 0.02);
    cairo_line_to(cr, tx - s * 0.08, ty - s * 0.16);
    cairo_line_to(cr, tx + s * 0.0, ty + s * 0.14);
    cairo_close_path(cr);
    cairo_fill(cr);
}

void Cross(cairo_t* cr, double cx, double cy, double s, double width, Colour c) {
    SetColour(cr, c);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx - s / 2, cy - s / 2);
    cairo_line_to(cr, cx + s / 2, cy + s / 2);
    cairo_move_to(cr, cx + s / 2, cy - s / 2);
    cairo_line_to(cr, cx - s / 2, cy + s / 2);
    cairo_stroke(cr);
}

void Tick(cairo_t* cr, double cx, double cy, double s, Colour c) {
    SetColour(cr, c);
    cairo_set_line_width(cr, s * 0.16);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, cx - s * 0.38, cy + s * 0.02);
    cairo_line_to(cr, cx - s * 0.1, cy + s * 0.3);
    cairo_line_to(cr, cx + s * 0.4, cy - s * 0.3);
    cairo_stroke(cr);
}

void PlusMinus(cairo_t* cr, double cx, double cy, double s, bool plus, Colour c) {
    SetColour(cr, c);
    const double t = s * 0.2;
    RoundRect(cr, cx - s / 2, cy - t / 2, s, t, t * 0.3);
    cairo_fill(cr);
    if (plus) {
        RoundRect(cr, cx - t / 2, cy - s / 2, t, s, t * 0.3);
        cairo_fill(cr);
    }
}

void WarningTriangle(cairo_t* cr, double x, double y, double w, double h) {
    auto tri = [&](double inset) {
        cairo_move_to(cr, x + w / 2, y + inset * 1.3);
        cairo_line_to(cr, x + w - inset, y + h - inset);
        cairo_line_to(cr, x + inset, y + h - inset);
        cairo_close_path(cr);
    };
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    tri(1.5);
    cairo_set_line_width(cr, 3);
    SetColour(cr, {0.08, 0.08, 0.08});
    cairo_stroke_preserve(cr);
    cairo_fill(cr);
    tri(4.5);
    SetColour(cr, palette::kSign);
    cairo_fill(cr);
}

void Thermometer(cairo_t* cr, double cx, double cy, double s, Colour c) {
    SetColour(cr, c);
    RoundRect(cr, cx - s * 0.1, cy - s * 0.5, s * 0.2, s * 0.7, s * 0.1);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy + s * 0.3, s * 0.18, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_set_line_width(cr, s * 0.06);
    for (int i = 0; i < 3; ++i) {
        cairo_move_to(cr, cx + s * 0.14, cy - s * 0.35 + i * s * 0.16);
        cairo_line_to(cr, cx + s * 0.3, cy - s * 0.35 + i * s * 0.16);
    }
    cairo_stroke(cr);
}

void Book(cairo_t* cr, double cx, double cy, double s, Colour c) {
    SetColour(cr, c);
    for (int side = -1; side <= 1; side += 2) {
        cairo_move_to(cr, cx + side * s * 0.04, cy - s * 0.28);
        cairo_curve_to(cr, cx + side * s * 0.2, cy - s * 0.36, cx + side * s * 0.36, cy - s * 0.34,
                       cx + side * s * 0.46, cy - s * 0.3);
        cairo_line_to(cr, cx + side * s * 0.46, cy + s * 0.3);
        cairo_curve_to(cr, cx + side * s * 0.36, cy + s * 0.26, cx + side * s * 0.2, cy + s * 0.26,
                       cx + side * s * 0.04, cy + s * 0.34);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

} // namespace skin
