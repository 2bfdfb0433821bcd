// ReArrangement inside the module, as a host calls it, against memcpy of the same bytes in the same
// process: for an image within the cache and for one four times the last-level cache per buffer. Both
// are alternated in one loop so they meet the same load; the figure is copy time over arrangement time
// (above 1 when arranging is faster), printed with its target.
//   arrange_figures.exe [ROUNDS]
#include "ModuleHarness.h"

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
    DWORD bytes = 0;
    ::GetLogicalProcessorInformation(nullptr, &bytes);
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> info(
        bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION) + 1);
    size_t largest = 0;
    if (bytes && ::GetLogicalProcessorInformation(info.data(), &bytes))
        for (size_t i = 0; i < bytes / sizeof info[0]; ++i)
            if (info[i].Relationship == RelationCache)
                largest = std::max<size_t>(largest, info[i].Cache.Size);
    return largest ? largest : size_t{32} << 20;
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

// Copy time over arrangement time, the best of the rounds for each (the least disturbed).
double Ratio(ReArrangementFn arrange, size_t lines, int rounds) {
    const size_t bytes = lines * kLineBytes;
    std::vector<unsigned char> source(bytes), destination(bytes);
    for (size_t i = 0; i < bytes; ++i)
        source[i] = static_cast<unsigned char>(i * 7);
    std::memcpy(destination.data(), source.data(), bytes); // pages touched before timing
    double copy = 1e9, arranged = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = Seconds();
        std::memcpy(destination.data(), source.data(), bytes);
        const double t1 = Seconds();
        arrange(destination.data(), static_cast<int>(lines) * kPixelsPerLine, source.data());
        const double t2 = Seconds();
        copy = std::min(copy, t1 - t0);
        arranged = std::min(arranged, t2 - t1);
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
    const double inCache = Ratio(arrange, cacheLines, rounds * 50);
    const double beyond = Ratio(arrange, beyondLines, std::max(3, rounds / 4));
    std::printf(
        "ReArrangement / memcpy inside the module: %.2f within the cache, %.2f beyond it (target %.2f)\n",
        inCache, beyond, kTarget);
    return 0;
}
