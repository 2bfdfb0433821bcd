// ReArrangement inside the module, as a host calls it, against memcpy of the same bytes in the same
// process: for an image within the cache and for one four times the last-level cache per buffer. Both
// are alternated in one loop so they meet the same load; the figure is copy time over arrangement time
// (above 1 when arranging is faster), printed with its target.
//   arrange_figures.exe [ROUNDS]
#include "ModuleHarness.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using ReArrangementFn = void (*)(unsigned char*, int, unsigned char*);

constexpr int kPixelsPerLine = 1244;
constexpr size_t kLineBytes = 2 * kPixelsPerLine;
constexpr double kTarget = 0.95;

size_t LastLevelCacheBytes() {
    const std::uint64_t reported = platform::LastLevelCacheBytes();
    return reported ? static_cast<size_t>(reported) : size_t{32} << 20;
}

double Seconds() {
    static const double perSecond = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / perSecond;
}

// Copy time over arrangement time, the best of the rounds for each (the least disturbed). Each round
// times `repeats` calls in a row, so that a small image's few microseconds span many ticks of the
// performance counter (100 ns under Wine).
double Ratio(ReArrangementFn arrange, size_t lines, int rounds, int repeats) {
    const size_t bytes = lines * kLineBytes;
    std::vector<unsigned char> source(bytes), destination(bytes);
    for (size_t i = 0; i < bytes; ++i)
        source[i] = static_cast<unsigned char>(i * 7);
    std::memcpy(destination.data(), source.data(), bytes); // pages touched before timing
    double copy = 1e9, arranged = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = Seconds();
        for (int k = 0; k < repeats; ++k)
            std::memcpy(destination.data(), source.data(), bytes);
        const double t1 = Seconds();
        for (int k = 0; k < repeats; ++k)
            arrange(destination.data(), static_cast<int>(lines) * kPixelsPerLine, source.data());
        const double t2 = Seconds();
        copy = std::min(copy, (t1 - t0) / repeats);
        arranged = std::min(arranged, (t2 - t1) / repeats);
    }
    std::printf("  %.2f MiB: memcpy %.2f GB/s, ReArrangement %.2f GB/s\n", bytes / 1048576.0,
                bytes / copy / 1e9, bytes / arranged / 1e9);
    return copy / arranged;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    harness::Module module;
    const auto arrange = module.Get<ReArrangementFn>("ReArrangement");
    if (!arrange) {
        std::printf("the module or its ReArrangement export is missing\n");
        return 2;
    }
    const size_t cacheLines = 128;
    const size_t beyondLines = (4 * LastLevelCacheBytes() + kLineBytes - 1) / kLineBytes;
    const double inCache = Ratio(arrange, cacheLines, rounds * 10, 32);
    const double beyond = Ratio(arrange, beyondLines, std::max(3, rounds / 4), 1);
    std::printf(
        "ReArrangement / memcpy inside the module: %.2f within the cache, %.2f beyond it (target %.2f)\n",
        inCache, beyond, kTarget);
    return 0;
}
