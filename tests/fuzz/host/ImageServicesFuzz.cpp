// Image services under arbitrary sizes and section tables: line de-interleaving of any count, the
// four-image TMJ re-ordering of any image and record, and the timing table. Buffers are exactly as
// large as the request describes, so any access beyond them is caught; a refused request must leave
// every buffer byte-identical.
#include "host/image/ImageServices.h"
#include "host/image/ShotRecordLayout.h"

#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

namespace sr = host::shotrecord;
using host::image::kLineBytes;
using host::image::kPixelsPerLine;

// Keeps one run's buffers within a few megabytes.
constexpr int kMaxLines = 8;
constexpr std::size_t kMaxImagePixels = 1 << 20;

std::vector<uint8_t> Filled(FuzzedDataProvider& in, std::size_t size) {
    std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(size);
    bytes.resize(size, 0x5A);
    return bytes;
}

void FuzzReArrange(FuzzedDataProvider& in) {
    const bool mirror = in.ConsumeBool();
    const bool inPlace = in.ConsumeBool();
    // A count up to a few lines (the buffers hold exactly its whole lines), or any int at all with
    // buffers of one line: the count must then be refused or stay inside what it names.
    const bool anyCount = in.ConsumeBool();
    int count =
        anyCount ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, kMaxLines * kPixelsPerLine);
    const int lines = count > 0 ? count / kPixelsPerLine : 0;
    if (anyCount && lines > 1)
        return; // the host's buffer would have to be that large; nothing to check with one line
    const std::size_t bytes = static_cast<std::size_t>(std::max(lines, 1)) * kLineBytes;
    std::vector<uint8_t> source = Filled(in, bytes);
    std::vector<uint8_t> destination(bytes, 0xC3);
    const std::vector<uint8_t> sourceBefore = source;
    const std::vector<uint8_t> destinationBefore = destination;
    uint8_t* target = inPlace ? source.data() : destination.data();
    const bool acted = host::image::ReArrange(target, count, source.data(), mirror);
    fuzz::Check(acted == (lines > 0));
    if (!acted) {
        fuzz::Check(source == sourceBefore && destination == destinationBefore);
        return;
    }
    if (!inPlace)
        fuzz::Check(source == sourceBefore);
    // Every line is a permutation of its 16-bit pixels: the same multiset of pixels comes out.
    const std::vector<uint8_t>& out = inPlace ? source : destination;
    for (int line = 0; line < lines; ++line) {
        std::vector<uint16_t> a(kPixelsPerLine), b(kPixelsPerLine);
        std::memcpy(a.data(), sourceBefore.data() + line * kLineBytes, kLineBytes);
        std::memcpy(b.data(), out.data() + line * kLineBytes, kLineBytes);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        fuzz::Check(a == b);
    }
}

void FuzzReorder(FuzzedDataProvider& in) {
    std::vector<uint8_t> record = Filled(in, sr::pano::kSize);
    if (in.ConsumeBool())
        sr::StoreU16(record.data(), sr::pano::kSectionCount, 4);
    const int32_t width =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-4, 4000) : in.ConsumeIntegral<int32_t>();
    const int32_t height =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-4, 64) : in.ConsumeIntegral<int32_t>();
    // The pixels the descriptor names, when that is a size the harness can hold; otherwise a small
    // buffer the service must not be allowed to run past (it has to refuse or stay inside).
    const bool fits = width > 0 && height > 0 &&
                      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxImagePixels;
    const std::size_t pixels = fits ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 16;
    if (!fits && width > 0 && height > 0)
        return; // a real host buffer that large is beyond this harness
    std::vector<uint16_t> image(pixels);
    for (auto& p : image)
        p = in.ConsumeIntegral<uint16_t>();
    host::image::TmjImage descriptor{width, height, 0, 0, image.data()};
    const std::vector<uint8_t> recordBefore = record;
    const std::vector<uint16_t> imageBefore = image;
    const bool acted = host::image::ReorderAtm4Images(&descriptor, record.data());
    if (!acted) {
        fuzz::Check(record == recordBefore && image == imageBefore);
        return;
    }
    fuzz::Check(sr::LoadU16(record.data(), sr::pano::kSectionCount) == 4);
    // Only the section table moves in the record.
    for (std::size_t i = 0; i < record.size(); ++i)
        if (i < sr::pano::SectionOffset(0) || i >= sr::pano::SectionWidth(3) + 2)
            fuzz::Check(record[i] == recordBefore[i]);
}

void FuzzTiming(FuzzedDataProvider& in) {
    std::vector<uint8_t> record = Filled(in, sr::pano::kSize);
    std::vector<int32_t> table(10, 0x77);
    int32_t result = 0;
    const bool filled = host::image::GetTiming(record.data(), table.data(), result);
    fuzz::Check(filled);
    const auto tens = std::count(table.begin(), table.end(), 10);
    fuzz::Check(tens == 1 || tens == 2 || tens == 4 || tens == 10);
    fuzz::Check(std::count(table.begin(), table.end(), 0x77) == 10 - tens);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        FuzzReArrange(in);
        break;
    case 1:
        FuzzReorder(in);
        break;
    default:
        FuzzTiming(in);
        break;
    }
    return 0;
}
