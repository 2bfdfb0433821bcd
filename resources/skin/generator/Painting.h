// Drawing vocabulary of the skin: the palette, keys, lamps, displays and the pictograms, all drawn
// with cairo in the caller's coordinates so that one look runs through panel and pages.
#pragma once

#include <cairo.h>

namespace skin {

struct Colour {
    double r, g, b;
};
Colour Hex(unsigned rgb);
void SetColour(cairo_t* cr, Colour c, double alpha = 1.0);
Colour Mix(Colour a, Colour b, double t);

namespace palette {
inline const Colour kBody = {0.17, 0.185, 0.205};     // graphite housing
inline const Colour kBodyDeep = {0.11, 0.12, 0.135};  // recesses
inline const Colour kBodyEdge = {0.36, 0.38, 0.41};   // chamfer highlight
inline const Colour kPage = {0.55, 0.60, 0.655};      // page plate, readable with dark and light text
inline const Colour kPlate = {0.46, 0.53, 0.60};      // caption plates
inline const Colour kLcd = {0.87, 0.91, 0.89};        // light display glass
inline const Colour kInk = {0.09, 0.16, 0.21};        // lit display segments and pictograms
inline const Colour kKeyLight = {0.92, 0.935, 0.95};  // light key face
inline const Colour kKeyDark = {0.25, 0.28, 0.31};    // dark key face
inline const Colour kKeyLit = {0.55, 0.82, 0.98};     // selected key face
inline const Colour kLegend = {0.90, 0.93, 0.95};     // legend on dark keys
inline const Colour kGreen = {0.20, 0.85, 0.35};
inline const Colour kAmber = {1.00, 0.70, 0.12};
inline const Colour kBlue = {0.13, 0.40, 0.72};
inline const Colour kRed = {0.72, 0.18, 0.16};
inline const Colour kSign = {0.98, 0.80, 0.05};
} // namespace palette

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r);

// A key cap filling (x, y, w, h): rounded, bevelled, darker and lower when pressed.
void KeyCap(cairo_t* cr, double x, double y, double w, double h, double r, Colour face, bool pressed);
void RoundKeyCap(cairo_t* cr, double cx, double cy, double radius, Colour face, bool pressed);
// A small indicator LED in a key's corner.
void Led(cairo_t* cr, double cx, double cy, double r, Colour colour, bool lit);
// A round signal lamp with a metal bezel; lit glass glows.
void Lamp(cairo_t* cr, double cx, double cy, double radius, Colour colour, bool lit);
// A recessed light display glass.
void LcdGlass(cairo_t* cr, double x, double y, double w, double h, double r, bool dimmed = false);
// A recess in the housing around a control.
void Well(cairo_t* cr, double x, double y, double w, double h, double r);

void Text(cairo_t* cr, const char* text, double cx, double cy, double size, Colour c, bool bold = true);

// Pictograms, drawn to fit a box (x, y, w, h), centred.
enum ArchPart : unsigned { kTmjLeft = 1, kMolarLeft = 2, kIncisive = 4, kMolarRight = 8, kTmjRight = 16, kSinus = 32 };
// The panoramic arch in its own 110 x 50 frame (see Painting.cpp); lit parts in `on`, the rest in `off`.
void Arch(cairo_t* cr, unsigned litParts, unsigned shownParts, Colour on, Colour off);
void Person(cairo_t* cr, double x, double y, double w, double h, double girth, bool child, Colour c);
enum class HeadView { LateralRight, LateralLeft, PostAnt, AntPost, Oblique, SubVertex };
void Head(cairo_t* cr, double x, double y, double w, double h, HeadView view, Colour c, Colour ground);
void Hand(cairo_t* cr, double x, double y, double w, double h, Colour c);
void Trefoil(cairo_t* cr, double cx, double cy, double r, Colour c);
void Speaker(cairo_t* cr, double cx, double cy, double s, bool waves, Colour c);
void LaserMark(cairo_t* cr, double cx, double cy, double s, Colour c);
void ResetArrow(cairo_t* cr, double cx, double cy, double s, Colour c);
void Cross(cairo_t* cr, double cx, double cy, double s, double width, Colour c);
void Tick(cairo_t* cr, double cx, double cy, double s, Colour c);
void PlusMinus(cairo_t* cr, double cx, double cy, double s, bool plus, Colour c);
void WarningTriangle(cairo_t* cr, double x, double y, double w, double h);
void Thermometer(cairo_t* cr, double cx, double cy, double s, Colour c);
void Book(cairo_t* cr, double cx, double cy, double s, Colour c);

} // namespace skin
