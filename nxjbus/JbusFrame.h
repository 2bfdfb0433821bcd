// JBUS frame codec: CRC-16, the three requests the module sends, the answer lengths they imply and the
// line timing derived from the baud rate. Knows bytes only; no port, no clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace nxjbus {

inline constexpr uint8_t kReadHoldingRegisters = 0x03;
inline constexpr uint8_t kWriteSingleRegister = 0x06;
inline constexpr uint8_t kWriteMultipleRegisters = 0x10;
inline constexpr uint8_t kExceptionBit = 0x80;
inline constexpr uint8_t kBroadcastSlave = 0;

// An RTU frame is at most 256 bytes, which bounds what one request may carry.
inline constexpr size_t kMaxFrameBytes = 256;
inline constexpr uint16_t kMaxReadCount = 125;
inline constexpr uint16_t kMaxWriteCount = 123;

// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF). On the wire it goes low byte first.
uint16_t Crc16(const uint8_t* data, size_t size) noexcept;

struct Frame {
    std::array<uint8_t, kMaxFrameBytes> bytes{};
    size_t size = 0;

    void Put8(uint8_t v) noexcept { bytes[size++] = v; }
    void Put16(uint16_t v) noexcept { // register values and addresses travel high byte first
        Put8(static_cast<uint8_t>(v >> 8));
        Put8(static_cast<uint8_t>(v & 0xFF));
    }
    void PutCrc() noexcept { // the CRC is the one field sent low byte first
        uint16_t crc = Crc16(bytes.data(), size);
        Put8(static_cast<uint8_t>(crc & 0xFF));
        Put8(static_cast<uint8_t>(crc >> 8));
    }
};

// Builders return false (and leave the frame empty) when the arguments cannot make a valid frame.
bool BuildReadRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t count) noexcept;
bool BuildWriteOneRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t value) noexcept;
bool BuildWriteSeveralRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t count,
                              const uint16_t* values) noexcept;

// Total length of the normal answer to a request (slave, function, data, CRC).
size_t ExpectedAnswerBytes(uint8_t function, uint16_t count) noexcept;

// Timing of an 8N1 line: every character takes 10 bit times.
struct LineTiming {
    uint32_t baud = 19200;
    uint32_t charUs = 0;      // one character on the wire
    uint32_t silentUs = 0;    // 3.5 characters between frames, never under the floor
    uint32_t interByteMs = 0; // allowance for gaps inside one answer (adapters and drivers deliver in bursts)

    uint32_t WireUs(size_t bytes) const noexcept { return static_cast<uint32_t>(bytes * charUs); }
    // How long to wait for the first byte of an answer: the unit's turnaround plus the time the request
    // and the whole answer need on the wire, so long blocks at slow rates are not cut short.
    uint32_t ResponseTimeoutMs(size_t requestBytes, size_t answerBytes) const noexcept;
    // One attempt's deadline, counted from the request's write: the first-byte wait, the answer's wire
    // time and a fixed number of gap allowances. A line that trickles cannot stretch it.
    uint64_t AnswerWindowUs(size_t requestBytes, size_t answerBytes) const noexcept;
    // The longest one call can take on a working port: a previous request still going out, then two
    // attempts, each with its silent interval, its own request still on the wire and its answer window.
    uint64_t LongestCallUs(size_t requestBytes, size_t answerBytes) const noexcept;
};

// Above 19200 baud the 3.5-character gap becomes shorter than a serial driver can resolve; 1750 us is
// the floor the Modbus serial line guide recommends.
inline constexpr uint32_t kSilentFloorUs = 1750;
inline constexpr uint32_t kUnitTurnaroundMs = 100;
inline constexpr uint32_t kMinInterByteMs = 20;
// Gap allowances one answer may use in total: one per stage edge and one for an adapter's burst delay.
inline constexpr uint32_t kAnswerGapAllowances = 4;

LineTiming TimingForBaud(uint32_t baud) noexcept;

} // namespace nxjbus
