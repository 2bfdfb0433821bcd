// Image data services: line de-interleaving, TMJ re-ordering, TMJ timing and the fixed answers.
#include "host/image/ImageServices.h"

#include "host/image/ShotRecordLayout.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define LUMEN_HAVE_AVX2_PATH 1
#endif

namespace host::image {

namespace {

namespace pano = host::shotrecord::pano;
using host::shotrecord::LoadU16;
using host::shotrecord::StoreU16;

constexpr std::size_t kPixelBytes = 2;

// True when [address, address + bytes) lies inside the address space.
bool RangeFits(const void* address, std::uint64_t bytes) {
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    return bytes <= static_cast<std::uint64_t>(PTRDIFF_MAX) && start <= UINTPTR_MAX - bytes;
}

#if defined(__SSE2__)
// Splits 8 groups (32 source bytes) into their 8 A pixels and 8 B pixels. Each 16-bit half is
// sign-extended to 32 bits first, so the saturating pack gives back its exact bits.
inline void SplitEightGroups(const unsigned char* source, __m128i& a, __m128i& b) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
    a = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16),
                        _mm_srai_epi32(_mm_slli_epi32(high, 16), 16));
    b = _mm_packs_epi32(_mm_srai_epi32(low, 16), _mm_srai_epi32(high, 16));
}

inline __m128i ReverseEightPixels(__m128i x) {
    x = _mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 1, 2, 3));
    x = _mm_shufflehi_epi16(x, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2));
}

inline void Store(unsigned char* line, int pixel, __m128i x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + kPixelBytes * pixel), x);
}

// One line, source and destination apart. 622 groups are 77 blocks of 8 and 6 more: the last
// block is taken at group 614, rewriting two groups with the values they already hold, so the loop
// needs no tail and no per-pixel branch.
void ArrangeLineSse2(unsigned char* __restrict line, const unsigned char* __restrict raw, bool mirror) {
    constexpr int kBlock = 8;
    constexpr int kLastBlock = kGroupsPerLine - kBlock;
    if (!mirror) {
        for (int j = 0; j < kGroupsPerLine; j += kBlock) {
            const int g = std::min(j, kLastBlock);
            __m128i a, b;
            SplitEightGroups(raw + 4 * g, a, b);
            Store(line, g, a);
            Store(line, kGroupsPerLine + g, b);
        }
    } else {
        for (int j = 0; j < kGroupsPerLine; j += kBlock) {
            const int g = std::min(j, kLastBlock);
            __m128i a, b;
            SplitEightGroups(raw + 4 * g, a, b);
            // A_g..A_g+7 land on pixels 1243-g down to 1236-g, B_g..B_g+7 on 621-g down to 614-g.
            Store(line, kPixelsPerLine - kBlock - g, ReverseEightPixels(a));
            Store(line, kGroupsPerLine - kBlock - g, ReverseEightPixels(b));
        }
    }
}

#if defined(LUMEN_HAVE_AVX2_PATH)
// Sixteen groups at a time where the processor has AVX2, chosen once at run time (the module runs on
// whatever the host PC has). Within each 16-byte lane the byte shuffle gathers four A pixels then four
// B pixels (reversed for a mirrored line); the quadword and lane permutes then join the A halves and the
// B halves of two loads. 622 groups are 38 blocks of 16 and 14 more: the last block is taken at group
// 606, as in the SSE2 path.
#define LUMEN_AVX2 __attribute__((target("avx2")))
LUMEN_AVX2 inline __m256i Load16Groups(const unsigned char* raw, int g) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(raw + 4 * g));
}
LUMEN_AVX2 inline void Store16Pixels(unsigned char* line, int pixel, __m256i x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + kPixelBytes * pixel), x);
}

LUMEN_AVX2 void ArrangeLineAvx2(unsigned char* __restrict line, const unsigned char* __restrict raw,
                                bool mirror) {
    constexpr int kBlock = 16;
    constexpr int kLastBlock = kGroupsPerLine - kBlock;
    const __m256i plain = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15, //
                                           0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    const __m256i reversed = _mm256_setr_epi8(12, 13, 8, 9, 4, 5, 0, 1, 14, 15, 10, 11, 6, 7, 2, 3, //
                                              12, 13, 8, 9, 4, 5, 0, 1, 14, 15, 10, 11, 6, 7, 2, 3);
    if (!mirror) {
        for (int j = 0; j < kGroupsPerLine; j += kBlock) {
            const int g = std::min(j, kLastBlock);
            // [A0-7 | B0-7] and [A8-15 | B8-15]
            const __m256i p1 = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(Load16Groups(raw, g), plain),
                                                        _MM_SHUFFLE(3, 1, 2, 0));
            const __m256i p2 = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(Load16Groups(raw, g + 8), plain),
                                                        _MM_SHUFFLE(3, 1, 2, 0));
            Store16Pixels(line, g, _mm256_permute2x128_si256(p1, p2, 0x20));
            Store16Pixels(line, kGroupsPerLine + g, _mm256_permute2x128_si256(p1, p2, 0x31));
        }
    } else {
        for (int j = 0; j < kGroupsPerLine; j += kBlock) {
            const int g = std::min(j, kLastBlock);
            // [A7-0 | B7-0] and [A15-8 | B15-8]
            const __m256i p1 = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(Load16Groups(raw, g), reversed),
                                                        _MM_SHUFFLE(1, 3, 0, 2));
            const __m256i p2 = _mm256_permute4x64_epi64(
                _mm256_shuffle_epi8(Load16Groups(raw, g + 8), reversed), _MM_SHUFFLE(1, 3, 0, 2));
            Store16Pixels(line, kPixelsPerLine - kBlock - g, _mm256_permute2x128_si256(p2, p1, 0x20));
            Store16Pixels(line, kGroupsPerLine - kBlock - g, _mm256_permute2x128_si256(p2, p1, 0x31));
        }
    }
}

// Thirty-two groups at a time where the processor has AVX-512BW. Each 16-byte lane is shuffled to four
// A pixels then four B pixels (reversed for a mirrored line); a two-source quadword permute then
// gathers the A quadwords, or the B ones, of two loads into 32 consecutive pixels.
#define LUMEN_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
struct Avx512Line {
    __m512i shuffle, gatherFirst, gatherSecond;
    bool mirror;

    LUMEN_AVX512 explicit Avx512Line(bool mirrored) : mirror(mirrored) {
        // Per lane, bytes 0 1 4 5 8 9 12 13 2 3 6 7 10 11 14 15, or 12 13 8 9 4 5 0 1 14 15 10 11 6 7 2 3.
        const long long first = mirror ? 0x0100050409080D0C : 0x0D0C090805040100;
        const long long second = mirror ? 0x030207060B0A0F0E : 0x0F0E0B0A07060302;
        shuffle = _mm512_setr_epi64(first, second, first, second, first, second, first, second);
        // Plain: A pixels fill the first half, B the second; mirrored: B the first, A the second, each
        // from the last group to the first.
        gatherFirst = mirror ? _mm512_setr_epi64(15, 13, 11, 9, 7, 5, 3, 1)
                             : _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
        gatherSecond = mirror ? _mm512_setr_epi64(14, 12, 10, 8, 6, 4, 2, 0)
                              : _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    }
    // The group a 32-pixel block starting at `pixel` of either half begins with.
    int GroupOf(int pixel) const { return mirror ? kGroupsPerLine - 32 - pixel : pixel; }
    // The block of 32 pixels starting at `pixel`, of the first half or the second.
    LUMEN_AVX512 __attribute__((always_inline)) void Split(const unsigned char* raw, int pixel,
                                                           __m512i& first, __m512i& second) const {
        const int g = GroupOf(pixel);
        const __m512i x = _mm512_shuffle_epi8(_mm512_loadu_si512(raw + 4 * g), shuffle);
        const __m512i y = _mm512_shuffle_epi8(_mm512_loadu_si512(raw + 4 * g + 64), shuffle);
        first = _mm512_permutex2var_epi64(x, gatherFirst, y);
        second = _mm512_permutex2var_epi64(x, gatherSecond, y);
    }
    LUMEN_AVX512 __attribute__((always_inline)) __m512i Second(const unsigned char* raw, int pixel) const {
        __m512i first, second;
        Split(raw, pixel, first, second);
        return second;
    }
};

// Images up to this size stay in a processor's caches; beyond it, stores are aligned.
constexpr std::uint64_t kCachedImageBytes = 1 << 20;
// Images larger than the last-level cache are streamed to memory; the platform tells the size.
std::atomic<std::uint64_t> g_lastLevelCacheBytes{std::uint64_t{32} << 20};

// Within the cache: both halves from one read of the line, stores wherever the blocks fall.
LUMEN_AVX512 void ArrangeLineAvx512(unsigned char* __restrict line, const unsigned char* __restrict raw,
                                    bool mirror) {
    constexpr int kBlock = 32;
    constexpr int kLastBlock = kGroupsPerLine - kBlock;
    const Avx512Line arrange(mirror);
    unsigned char* second = line + kPixelBytes * kGroupsPerLine;
    for (int j = 0; j < kGroupsPerLine; j += kBlock) {
        const int p = std::min(j, kLastBlock);
        __m512i a, b;
        arrange.Split(raw, p, a, b);
        _mm512_storeu_si512(line + kPixelBytes * p, a);
        _mm512_storeu_si512(second + kPixelBytes * p, b);
    }
}

// Beyond the cache a store that straddles two cache lines costs the memory a third pass, so every
// store but those at the ends of each half is aligned, from one read of the line. The blocks are laid
// on the first half's alignment; the second half starts 1244 bytes on, 28 bytes into a 64-byte block,
// so each of its aligned blocks joins the last 28 bytes of one block with the first 36 of the next.
// Needs an even destination (pixels on whole bytes).
// Streamed, the aligned blocks go to memory without reading the destination in first, as memcpy does
// for large copies; the ends of each half are then written with plain stores of their own bytes only
// (a line shared between streamed and cached stores, or a masked store, costs more than it saves).
template <bool Stream>
LUMEN_AVX512 void ArrangeLineAvx512Aligned(unsigned char* __restrict line,
                                           const unsigned char* __restrict raw, bool mirror) {
    constexpr int kBlock = 32;
    constexpr int kLastBlock = kGroupsPerLine - kBlock;
    static_assert((kPixelBytes * kGroupsPerLine) % 64 == 28, "the join is set by the second half's offset");
    constexpr int kJoinDwords = (64 - 28) / 4;
    const Avx512Line arrange(mirror);
    unsigned char* first = line;
    unsigned char* second = line + kPixelBytes * kGroupsPerLine;
    const auto alignedPixel = [](const unsigned char* half) {
        return static_cast<int>((0 - reinterpret_cast<std::uintptr_t>(half)) & 63) / 2;
    };
    const auto storeAligned = [](unsigned char* at, __m512i x) LUMEN_AVX512 {
        if constexpr (Stream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(at), x);
        else
            _mm512_store_si512(at, x);
    };
    // Pixels [from, to) of a half, out of the block that starts at pixel `block`.
    const auto storeEnd = [](unsigned char* half, int block, int from, int to, __m512i x) LUMEN_AVX512 {
        if constexpr (Stream) {
            unsigned char staged[64]; // (unaligned store: MinGW does not align the stack beyond 16)
            _mm512_storeu_si512(staged, x);
            std::memcpy(half + kPixelBytes * from, staged + kPixelBytes * (from - block),
                        kPixelBytes * (to - from));
        } else {
            (void)from, (void)to;
            _mm512_storeu_si512(half + kPixelBytes * block, x);
        }
    };
    const int p0 = alignedPixel(first);
    const int q0 = alignedPixel(second); // (p0 + 18) % 32: 36 bytes past a first-half boundary

    __m512i a, b;
    arrange.Split(raw, 0, a, b);
    storeEnd(first, 0, 0, p0, a);
    storeEnd(second, 0, 0, q0, b);
    int q = q0;
    if (q < p0 + 18) { // no first-half block on its left: made on its own
        storeAligned(second + kPixelBytes * q, arrange.Second(raw, q));
        q += kBlock;
    }
    __m512i previous = _mm512_setzero_si512();
    int p = p0;
    for (; p <= kLastBlock; p += kBlock) {
        arrange.Split(raw, p, a, b);
        storeAligned(first + kPixelBytes * p, a);
        if (p != p0) {
            // (masked form: the unmasked one trips a false uninitialised-value warning in GCC 12)
            storeAligned(second + kPixelBytes * q,
                         _mm512_maskz_alignr_epi32(0xFFFF, b, previous, kJoinDwords));
            q += kBlock;
        }
        previous = b;
    }
    for (; q <= kLastBlock; q += kBlock)
        storeAligned(second + kPixelBytes * q, arrange.Second(raw, q));
    arrange.Split(raw, kLastBlock, a, b);
    storeEnd(first, kLastBlock, p, kGroupsPerLine, a);
    storeEnd(second, kLastBlock, q, kGroupsPerLine, b);
}

int g_vectorBitsAllowed = 512;

bool UseAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has && g_vectorBitsAllowed >= 512;
}
bool UseAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && g_vectorBitsAllowed >= 256;
}
#endif

void ArrangeLine(unsigned char* __restrict line, const unsigned char* __restrict raw, bool mirror,
                 std::uint64_t imageBytes) {
#if defined(LUMEN_HAVE_AVX2_PATH)
    if (UseAvx512()) {
        if (imageBytes > kCachedImageBytes && reinterpret_cast<std::uintptr_t>(line) % 2 == 0) {
            if (imageBytes > g_lastLevelCacheBytes.load(std::memory_order_relaxed))
                return ArrangeLineAvx512Aligned<true>(line, raw, mirror);
            return ArrangeLineAvx512Aligned<false>(line, raw, mirror);
        }
        return ArrangeLineAvx512(line, raw, mirror);
    }
    if (UseAvx2())
        return ArrangeLineAvx2(line, raw, mirror);
#endif
    ArrangeLineSse2(line, raw, mirror);
}

// Streamed stores are weakly ordered: the image is whole for the host's other threads only after this.
void FinishStores() {
    _mm_sfence();
}
#else
void FinishStores() {}

void ArrangeLine(unsigned char* __restrict line, const unsigned char* __restrict raw, bool mirror,
                 std::uint64_t) {
    for (int j = 0; j < kGroupsPerLine; ++j) {
        const int a = mirror ? kPixelsPerLine - 1 - j : j;
        const int b = mirror ? kGroupsPerLine - 1 - j : kGroupsPerLine + j;
        std::memcpy(line + kPixelBytes * a, raw + 4 * j, kPixelBytes);
        std::memcpy(line + kPixelBytes * b, raw + 4 * j + 2, kPixelBytes);
    }
}
#endif

} // namespace

void SetLastLevelCacheBytes(std::uint64_t bytes) {
#if defined(LUMEN_HAVE_AVX2_PATH)
    if (bytes > 0)
        g_lastLevelCacheBytes.store(bytes, std::memory_order_relaxed);
#else
    (void)bytes;
#endif
}

void LimitVectorBits(int bits) {
#if defined(LUMEN_HAVE_AVX2_PATH)
    g_vectorBitsAllowed = bits;
#else
    (void)bits;
#endif
}

bool ReArrange(unsigned char* destination, int pixelCount, const unsigned char* source, bool mirror) {
    if (destination == nullptr || source == nullptr)
        return false;
    const int lines = pixelCount / kPixelsPerLine; // toward zero: a negative count gives no line
    if (lines <= 0)
        return false;
    const std::uint64_t bytes = static_cast<std::uint64_t>(lines) * kLineBytes;
    if (!RangeFits(destination, bytes) || !RangeFits(source, bytes))
        return false;

    const auto d = reinterpret_cast<std::uintptr_t>(destination);
    const auto s = reinterpret_cast<std::uintptr_t>(source);
    if (d + bytes <= s || s + bytes <= d) {
        for (int l = 0; l < lines; ++l)
            ArrangeLine(destination + l * kLineBytes, source + l * kLineBytes, mirror, bytes);
        FinishStores();
        return true;
    }

    // Overlapping buffers (typically the host arranging in place): each source line is staged
    // before its destination line is written, walking in the direction that never overwrites a
    // source line still to be read.
    alignas(16) unsigned char staged[kLineBytes];
    auto oneLine = [&](int l) {
        std::memcpy(staged, source + l * kLineBytes, kLineBytes);
        ArrangeLine(destination + l * kLineBytes, staged, mirror, bytes);
    };
    if (d <= s) {
        for (int l = 0; l < lines; ++l)
            oneLine(l);
    } else {
        for (int l = lines - 1; l >= 0; --l)
            oneLine(l);
    }
    FinishStores();
    return true;
}

bool ReorderAtm4Images(TmjImage* image, unsigned char* record) {
    if (image == nullptr || record == nullptr)
        return false;
    if (LoadU16(record, pano::kSectionCount) != 4)
        return false;
    const std::int64_t width = image->width;
    const std::int64_t height = image->height;
    if (width <= 0 || height <= 0 || image->pixels == nullptr)
        return false;
    // The host counts an image's pixels in a 32-bit int; a larger product is no image it holds.
    if (width * height > INT32_MAX)
        return false;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * kPixelBytes;
    if (!RangeFits(image->pixels, rowBytes * static_cast<std::uint64_t>(height)))
        return false;

    std::int64_t o[4], w[4];
    for (std::size_t k = 0; k < 4; ++k) {
        o[k] = LoadU16(record, pano::SectionOffset(k));
        w[k] = LoadU16(record, pano::SectionWidth(k));
        // Every section inside the line, left to right without overlap. The moved sections never end
        // further right than section 3 does now, so within 16 bits here means within 16 bits after.
        if (o[k] + w[k] > width || o[k] + w[k] > UINT16_MAX)
            return false;
        if (k > 0 && o[k] < o[k - 1] + w[k - 1])
            return false;
    }

    // New places: 0 stays; 2 moves into 1's place, 3 follows after the old 1-2 gap, 1 goes last after
    // the old 2-3 gap.
    const std::int64_t newOffset2 = o[2] - w[1] + w[2];
    const std::int64_t newOffset3 = o[3] - w[1] + w[3];

    // Only old section 1 is overwritten before it has been moved, so it is the one staged per line.
    std::unique_ptr<unsigned char[]> staged(new (std::nothrow) unsigned char[kPixelBytes * w[1] + 1]);
    if (!staged)
        return false;

    StoreU16(record, pano::SectionWidth(1), static_cast<std::uint16_t>(w[2]));
    StoreU16(record, pano::SectionOffset(2), static_cast<std::uint16_t>(newOffset2));
    StoreU16(record, pano::SectionWidth(2), static_cast<std::uint16_t>(w[3]));
    StoreU16(record, pano::SectionOffset(3), static_cast<std::uint16_t>(newOffset3));
    StoreU16(record, pano::SectionWidth(3), static_cast<std::uint16_t>(w[1]));

    struct Span {
        std::int64_t from, to;
    };
    const Span gaps[] = {{o[0] + w[0], o[1]},
                         {o[1] + w[2], newOffset2},
                         {newOffset2 + w[3], newOffset3},
                         {o[3] + w[3], width}};

    auto* row = reinterpret_cast<unsigned char*>(image->pixels);
    auto at = [&](std::int64_t column) { return row + kPixelBytes * column; };
    for (std::int64_t y = 0; y < height; ++y, row += rowBytes) {
        std::memcpy(staged.get(), at(o[1]), kPixelBytes * w[1]);
        std::memmove(at(o[1]), at(o[2]), kPixelBytes * w[2]);
        std::memmove(at(newOffset2), at(o[3]), kPixelBytes * w[3]);
        std::memcpy(at(newOffset3), staged.get(), kPixelBytes * w[1]);
        for (const Span& gap : gaps)
            std::memset(at(gap.from), 0, kPixelBytes * (gap.to - gap.from));
    }
    return true;
}

bool GetTiming(const unsigned char* panoRecord, std::int32_t* table, std::int32_t& result) {
    struct Rule {
        std::int16_t sections;
        int entries;
        std::int32_t result;
    };
    constexpr Rule kRules[] = {{1, 1, 300}, {2, 2, 3000}, {4, 4, 90000}};
    constexpr Rule kOther = {0, 10, 6000};
    constexpr std::int32_t kEntryValue = 10;

    result = 0;
    if (panoRecord == nullptr)
        return false;
    const auto sections = static_cast<std::int16_t>(LoadU16(panoRecord, pano::kSectionCount));
    Rule rule = kOther;
    for (const Rule& r : kRules)
        if (r.sections == sections)
            rule = r;
    result = rule.result;
    if (table == nullptr)
        return false;
    std::fill_n(table, rule.entries, kEntryValue);
    return true;
}

std::int32_t CanCombineAtm(std::int32_t programA, std::int32_t programB) {
    return programA == kProgramTmj2Images && programB == kProgramTmj2Images ? kProgramTmj4Images : 0;
}

namespace {
bool WriteResolution(double* resolution, double value) {
    if (resolution == nullptr)
        return false;
    resolution[0] = value;
    resolution[1] = value;
    return true;
}
} // namespace

bool GetPanoResolution(double* resolution) {
    return WriteResolution(resolution, host::shotrecord::kPanoDisplayResolution);
}
bool GetPanoRealResolution(double* resolution) {
    return WriteResolution(resolution, host::shotrecord::kPanoRealResolution);
}
bool GetCephaloRealResolution(double* resolution) {
    return WriteResolution(resolution, host::shotrecord::kCephaloRealResolution);
}

} // namespace host::image
