// Throughput of the image services against a plain copy of the same bytes, in the same run.
#include "host/image/ImageServices.h"
#include "host/image/ShotRecordLayout.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using namespace host::image;
namespace rec = host::shotrecord;

constexpr int kPanoLines = 3000;
constexpr std::size_t kPanoBytes = kPanoLines * kLineBytes;

// Buffers filled once, so page faults stay out of the timed loops.
std::vector<unsigned char>& Buffer(int which, std::size_t bytes) {
    static std::vector<unsigned char> buffers[2];
    auto& b = buffers[which];
    if (b.size() < bytes) {
        b.resize(bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            b[i] = static_cast<unsigned char>(i * 7);
    }
    return b;
}

void PanoMemcpy(benchmark::State& state) {
    auto& src = Buffer(0, kPanoBytes);
    auto& dst = Buffer(1, kPanoBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kPanoBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kPanoBytes);
}

void PanoReArrange(benchmark::State& state) {
    const bool mirror = state.range(0) != 0;
    auto& src = Buffer(0, kPanoBytes);
    auto& dst = Buffer(1, kPanoBytes);
    for (auto _ : state) {
        ReArrange(dst.data(), kPanoLines * kPixelsPerLine, src.data(), mirror);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kPanoBytes);
}

// Four TMJ images of equal width with 50-pixel gaps, filling a width x 1500 picture.
struct TmjPicture {
    int width;
    int imageWidth;
    std::vector<std::uint16_t> pixels;
    std::vector<unsigned char> record = std::vector<unsigned char>(rec::pano::kSize);
    TmjPicture(int w, int imageW)
        : width(w), imageWidth(imageW), pixels(static_cast<std::size_t>(w) * 1500, 1) {
        rec::StoreU16(record.data(), rec::pano::kSectionCount, 4);
        for (int k = 0; k < 4; ++k) {
            rec::StoreU16(record.data(), rec::pano::SectionOffset(k),
                          static_cast<std::uint16_t>(k * (imageW + 50)));
            rec::StoreU16(record.data(), rec::pano::SectionWidth(k), static_cast<std::uint16_t>(imageW));
        }
    }
};

void TmjCopy(benchmark::State& state) {
    TmjPicture picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint16_t> copy(picture.pixels.size(), 2);
    const std::size_t bytes = picture.pixels.size() * 2;
    for (auto _ : state) {
        std::memcpy(copy.data(), picture.pixels.data(), bytes);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

// Equal widths keep the layout, so the same record serves every iteration.
void TmjReorder(benchmark::State& state) {
    TmjPicture picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TmjImage image{picture.width, 1500, 0, 0, picture.pixels.data()};
    if (!ReorderAtm4Images(&image, picture.record.data()))
        state.SkipWithError("layout refused");
    for (auto _ : state) {
        ReorderAtm4Images(&image, picture.record.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * picture.pixels.size() * 2);
}

} // namespace

BENCHMARK(PanoMemcpy);
BENCHMARK(PanoReArrange)->ArgName("mirror")->Arg(0)->Arg(1);
BENCHMARK(PanoMemcpy);
// 3344 x 1500 with four 798-pixel images, and 3494 x 1500 holding the unit's four 836-pixel images.
BENCHMARK(TmjCopy)->Args({3344, 798})->Args({3494, 836});
BENCHMARK(TmjReorder)->Args({3344, 798})->Args({3494, 836});

BENCHMARK_MAIN();
