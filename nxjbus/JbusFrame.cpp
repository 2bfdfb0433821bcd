// JBUS frame codec: CRC, request building, answer lengths, line timing.
#include "nxjbus/JbusFrame.h"

namespace nxjbus {

uint16_t Crc16(const uint8_t* data, size_t size) noexcept {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

bool BuildReadRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t count) noexcept {
    out.size = 0;
    // A broadcast read would make every slave answer at once.
    if (slave == kBroadcastSlave || count == 0 || count > kMaxReadCount)
        return false;
    out.Put8(slave);
    out.Put8(kReadHoldingRegisters);
    out.Put16(wordAddress);
    out.Put16(count);
    out.PutCrc();
    return true;
}

bool BuildWriteOneRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t value) noexcept {
    out.size = 0;
    out.Put8(slave);
    out.Put8(kWriteSingleRegister);
    out.Put16(wordAddress);
    out.Put16(value);
    out.PutCrc();
    return true;
}

bool BuildWriteSeveralRequest(Frame& out, uint8_t slave, uint16_t wordAddress, uint16_t count,
                              const uint16_t* values) noexcept {
    out.size = 0;
    if (count == 0 || count > kMaxWriteCount || values == nullptr)
        return false;
    out.Put8(slave);
    out.Put8(kWriteMultipleRegisters);
    out.Put16(wordAddress);
    out.Put16(count);
    out.Put8(static_cast<uint8_t>(count * 2));
    for (uint16_t i = 0; i < count; ++i)
        out.Put16(values[i]);
    out.PutCrc();
    return true;
}

size_t ExpectedAnswerBytes(uint8_t function, uint16_t count) noexcept {
    switch (function) {
    case kReadHoldingRegisters:
        return 3 + 2u * count + 2; // slave, function, byte count, data, CRC
    case kWriteSingleRegister:
    case kWriteMultipleRegisters:
        return 8; // slave, function, address, value or quantity, CRC
    default:
        return 0;
    }
}

uint32_t LineTiming::ResponseTimeoutMs(size_t requestBytes, size_t answerBytes) const noexcept {
    uint32_t wireMs = (WireUs(requestBytes + answerBytes) + 999) / 1000;
    return kUnitTurnaroundMs + wireMs;
}

uint64_t LineTiming::AnswerWindowUs(size_t requestBytes, size_t answerBytes) const noexcept {
    return 1000ull * ResponseTimeoutMs(requestBytes, answerBytes) + WireUs(answerBytes) +
           1000ull * kAnswerGapAllowances * interByteMs;
}

uint64_t LineTiming::LongestCallUs(size_t requestBytes, size_t answerBytes) const noexcept {
    uint64_t attemptUs = silentUs + WireUs(requestBytes) + AnswerWindowUs(requestBytes, answerBytes);
    return WireUs(kMaxFrameBytes) + 2 * attemptUs;
}

LineTiming TimingForBaud(uint32_t baud) noexcept {
    LineTiming t;
    t.baud = baud == 0 ? 19200 : baud;
    t.charUs = (10u * 1000000u + t.baud - 1) / t.baud;
    uint32_t silent = (t.charUs * 7 + 1) / 2;
    t.silentUs = silent < kSilentFloorUs ? kSilentFloorUs : silent;
    uint32_t fourCharsMs = (4 * t.charUs + 999) / 1000;
    t.interByteMs = fourCharsMs < kMinInterByteMs ? kMinInterByteMs : fourCharsMs;
    return t;
}

} // namespace nxjbus
