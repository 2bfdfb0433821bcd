// Fixed-layout byte records exchanged with the unit: little-endian fields at fixed byte offsets, a
// 32-bit value spanning two registers with the low 16 bits at the lower address.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace unitlink {

// The unit's registers arrive as host words and records are read as bytes; both trees run on
// little-endian x86-64, where the two agree.
static_assert(std::endian::native == std::endian::little, "records assume a little-endian host");

template <std::size_t N>
struct ByteRecord {
    static constexpr std::size_t kSize = N;
    std::array<uint8_t, N> bytes{};

    uint8_t* data() noexcept { return bytes.data(); }
    const uint8_t* data() const noexcept { return bytes.data(); }
    void Clear() noexcept { bytes.fill(0); }

    uint8_t U8(std::size_t offset) const noexcept { return Get<uint8_t>(offset); }
    uint16_t U16(std::size_t offset) const noexcept { return Get<uint16_t>(offset); }
    int16_t S16(std::size_t offset) const noexcept { return Get<int16_t>(offset); }
    uint32_t U32(std::size_t offset) const noexcept { return Get<uint32_t>(offset); }
    float F32(std::size_t offset) const noexcept { return Get<float>(offset); }

    void SetU8(std::size_t offset, uint8_t value) noexcept { Set(offset, value); }
    void SetU16(std::size_t offset, uint16_t value) noexcept { Set(offset, value); }
    void SetS16(std::size_t offset, int16_t value) noexcept { Set(offset, value); }
    void SetU32(std::size_t offset, uint32_t value) noexcept { Set(offset, value); }
    void SetF32(std::size_t offset, float value) noexcept { Set(offset, value); }

private:
    // Offsets are the layout's constants; an offset past the record is a programming error and
    // reads as 0 / writes nothing rather than touching memory outside the record.
    template <typename T>
    T Get(std::size_t offset) const noexcept {
        T value{};
        if (offset + sizeof(T) <= N)
            std::memcpy(&value, bytes.data() + offset, sizeof(T));
        return value;
    }
    template <typename T>
    void Set(std::size_t offset, T value) noexcept {
        if (offset + sizeof(T) <= N)
            std::memcpy(bytes.data() + offset, &value, sizeof(T));
    }
};

} // namespace unitlink
