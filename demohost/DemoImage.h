// What the demo host makes of a shot: a synthetic panoramic phantom (arch, teeth, ruler, orientation
// mark), the raw lines a sensor delivers for it, a four-image TMJ picture, and PNG files. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

// The phantom: rows of 1244 pixels (12-bit values), as the arranged lines come out.
inline constexpr int kLinePixels = 1244;
inline constexpr int kGroups = kLinePixels / 2;
inline constexpr int kPhantomRows = 520;
// The ruler along the bottom: a tick every 100 columns from 100 to 1200, 5 columns wide from there.
inline constexpr int kRulerFirstTick = 100, kRulerTickStep = 100, kRulerTickWidth = 5;
inline constexpr int kRulerTop = kPhantomRows - 60, kRulerBottom = kPhantomRows - 20;
// The orientation mark: a bright square in the patient's right, the image's top-left corner.
inline constexpr int kMarkLeft = 30, kMarkTop = 30, kMarkSide = 60;

std::vector<uint16_t> PanoramicPhantom();

// The raw lines the sensor delivers for an image of rows x 1244: groups of pixel j and pixel 622 + j,
// 16 bits little-endian each. When the unit turns the other way, each line arrives reversed.
std::vector<uint8_t> SensorLines(const std::vector<uint16_t>& image, int rows, bool reversed);

// Four TMJ images side by side in a width x height picture, at the sections' offsets and widths;
// image k shows k + 1 bright bars so that their order is visible.
std::vector<uint16_t> TmjPhantom(int width, int height, const int offsets[4], const int widths[4]);

// An 8-bit PNG (grey: 1 channel, colour: 3 channels) of the pixels, rows top-down; uncompressed deflate.
std::vector<uint8_t> EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels);
// 12-bit values to 8-bit grey.
std::vector<uint8_t> ToGrey8(const std::vector<uint16_t>& pixels);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace demo
