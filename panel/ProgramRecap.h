// The program recap: what the program the unit reports lights on the panel and its program pages, and
// the program fields it writes into the host's shot records (code, name, image sections, angle).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace panel {

// The six recap pairs of the panoramic designs: a panel lamp and a program-page key each.
enum RecapPair : uint8_t {
    kPairTmjRight = 1 << 0,
    kPairTmjLeft = 1 << 1,
    kPairIncisive = 1 << 2,
    kPairRightMolar = 1 << 3,
    kPairLeftMolar = 1 << 4,
    kPairSinus = 1 << 5,
};
struct RecapPairControls {
    RecapPair pair;
    int panelLamp;
    int pageKey;
};
inline constexpr RecapPairControls kRecapPairs[] = {
    {kPairTmjRight, 1039, 1036},    {kPairTmjLeft, 1040, 1037},    {kPairIncisive, 1041, 1032},
    {kPairRightMolar, 1042, 1033},  {kPairLeftMolar, 1043, 1034},  {kPairSinus, 1044, 1035},
};

// What the recap does with the "x4" caption of the four-image TMJ program.
enum class X4Caption { Keep, Hide, Show };

// An image section of the panoramic record: where it starts in the image and how wide it is.
struct ImageSection {
    uint16_t offset = 0;
    uint16_t width = 0;
    bool operator==(const ImageSection&) const = default;
};
inline constexpr std::size_t kMaxImageSections = 4;

// What a program's image is made of; a count of 0 leaves the record's sections as they are.
struct ImageSections {
    uint16_t count = 0;
    std::array<ImageSection, kMaxImageSections> sections{};
};

// The panoramic designs' reading of a program code (low nibble family, high nibble variant).
struct PanoramicRecap {
    uint8_t pairs = 0;  // RecapPair bits lit; every other pair is switched off
    int tmjImages = 0;  // the four-image key's state: 0 none, 1 two images, 2 four images
    X4Caption x4 = X4Caption::Keep;
    std::optional<uint16_t> code;   // panoramic record code
    std::optional<uint16_t> nameId; // language-library text of the name; none keeps the name
    ImageSections sections;
};
PanoramicRecap PanoramicRecapOf(uint8_t programCode) noexcept;

// The cephalometric record's angle word: kept, 0 (views without an angle) or the page's angle (oblique).
enum class AngleWord { Keep, Zero, FromDisplay };

// The cephalometric design's reading of a program code. The view fields are set only when the code
// names a view the page has.
struct CephalometricRecap {
    X4Caption x4 = X4Caption::Keep;
    std::optional<uint16_t> panoCode;   // the test programs write the panoramic record
    std::optional<uint16_t> cephCode;   // cephalometric record code
    std::optional<uint16_t> nameId;     // into the panoramic record's name field
    std::optional<int> litKey;          // the cephalometric page key of the view
    std::optional<int> recapState;      // the panel's cephalometric recap, 0..5
    std::optional<bool> angleHidden;    // the angle display's state (on hides its text)
    AngleWord angle = AngleWord::Keep;
};
CephalometricRecap CephalometricRecapOf(uint8_t programCode) noexcept;

// The cephalometric page's keys, switched off before the view's key is lit.
inline constexpr int kCephalometricKeys[] = {1111, 1112, 1113, 1114, 1115, 1119};

// ---- The oblique angle the cephalometric page keeps as the text of its display ----------------------

inline constexpr int kAngleMin = 0;
inline constexpr int kAngleMax = 360;
inline constexpr int kAngleInitial = 45;
// The value of the display's text: its leading decimal digits (after blanks and a sign), 0 when there
// are none; a value beyond the angle's range is held at its edge so that no text overflows it.
int AngleOfText(std::string_view text) noexcept;
// "%d" and the degree sign (the single Windows-1252 byte 0xB0).
std::array<char, 8> AngleText(int degrees) noexcept;
// One step of the angle keys, kept within 0..360.
int StepAngle(int degrees, int step) noexcept;

// ---- The program fields of the shot records --------------------------------------------------------

inline constexpr std::size_t kPanoCodeOffset = 0;
inline constexpr std::size_t kPanoNameOffset = 2;
inline constexpr std::size_t kPanoNameSize = 30; // at most 29 characters and a terminating zero
inline constexpr std::size_t kPanoSectionCountOffset = 49;
inline constexpr std::size_t kPanoSectionsOffset = 51;
inline constexpr std::size_t kCephCodeOffset = 0;
inline constexpr std::size_t kCephAngleOffset = 48;
inline constexpr std::size_t kPanoRecordBytes = 211;
inline constexpr std::size_t kCephRecordBytes = 293;

// The fields of a panoramic recap into a 211-byte record: the code, the name (when the recap names the
// program), the count and only the sections up to it.
void WritePanoramicFields(uint8_t* pano, const PanoramicRecap& recap, std::string_view name) noexcept;
// The fields of a cephalometric recap: the panoramic record's code and name, the cephalometric
// record's code and angle word (angle used when the recap takes it from the display).
void WriteCephalometricFields(uint8_t* pano, uint8_t* ceph, const CephalometricRecap& recap, std::string_view name,
                              int angle) noexcept;

} // namespace panel
