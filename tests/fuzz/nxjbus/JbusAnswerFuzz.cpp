// The bus master's answer reading against arbitrary lines: any byte stream, cut into any chunks, with any
// gaps, for each kind of request. Checked on every input: a success returns exactly the words of a valid
// frame the line delivered, a call never takes longer than the stated bound, and every request waits
// the silent interval after the last byte on the wire.
//
// Input: kind, baud, slave, address (2), count, then per answer (one per request sent, in order): a
// header byte (bits 0-2 chunk count, 3 append the right CRC, 4 start with the right header, 5 pace the
// bytes at line rate) and per chunk a gap byte and a length byte followed by that many bytes.
#include "tests/fuzz/FuzzCheck.h"
#include "tests/unit/nxjbus/FakeLine.h"

#include "nxjbus/JbusFrame.h"
#include "nxjbus/JbusMaster.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using nxjbus::test::Answer;
using nxjbus::test::Bytes;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool Empty() const { return pos >= size; }
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
};

// CRC-16/MODBUS written out again here, so the check does not trust the code under test.
uint16_t ReferenceCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1) ? 0xA001u : 0u);
    }
    return static_cast<uint16_t>(crc);
}

bool CrcOk(const Bytes& frame) {
    if (frame.size() < 4)
        return false;
    uint16_t crc = ReferenceCrc(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

enum Kind { kRead, kWriteOne, kWriteSeveral };
constexpr uint8_t kFunctions[] = {0x03, 0x06, 0x10}; // by kind

struct Request {
    Kind kind;
    uint8_t slave;
    uint16_t address;
    uint16_t count;
    uint16_t values[nxjbus::kMaxReadCount];
};

Answer ScriptAnswer(Input& in, const Request& r, uint32_t charUs) {
    const uint8_t header = in.Byte();
    Bytes bytes;
    std::vector<uint64_t> atUs;
    uint64_t t = 0;
    const bool paced = header & 0x20;
    auto put = [&](uint8_t b) {
        bytes.push_back(b);
        atUs.push_back(t);
        if (paced)
            t += charUs;
    };
    if (header & 0x10) {
        put(r.slave);
        put(kFunctions[r.kind]);
        if (r.kind == kRead)
            put(static_cast<uint8_t>(2 * r.count));
    }
    for (int chunk = header & 7; chunk > 0 && !in.Empty(); --chunk) {
        uint32_t gap = in.Byte();
        t += uint64_t{gap} * gap * 8; // up to about half a second, finely graded near zero
        for (uint8_t n = in.Byte(); n > 0 && !in.Empty(); --n)
            put(in.Byte());
    }
    if (header & 0x08) {
        uint16_t crc = ReferenceCrc(bytes.data(), bytes.size());
        put(static_cast<uint8_t>(crc & 0xFF));
        put(static_cast<uint8_t>(crc >> 8));
    }
    Answer answer;
    for (size_t i = 0; i < bytes.size(); ++i)
        answer.push_back({0, {bytes[i]}, atUs[i]});
    return answer;
}

// Whether what the master read after its last request is the valid answer that gives this result.
bool DeliveredGives(const Bytes& got, const Request& r, const uint8_t* requestBytes, int result,
                    const uint16_t* out) {
    const uint8_t function = kFunctions[r.kind];
    if (result >= 1 && result <= JBUS_EXCEPTION_LAST)
        return got.size() == 5 && got[0] == r.slave && got[1] == (function | 0x80) && got[2] == result &&
               CrcOk(got);
    if (result != JBUS_OK)
        return true;
    if (r.kind != kRead)
        return got.size() == 8 && std::memcmp(got.data(), requestBytes, 6) == 0 && CrcOk(got);
    if (got.size() != 5u + 2u * r.count || got[0] != r.slave || got[1] != function || got[2] != 2 * r.count ||
        !CrcOk(got))
        return false;
    for (uint16_t i = 0; i < r.count; ++i)
        if (out[i] != ((got[3 + 2 * i] << 8) | got[4 + 2 * i]))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    static const uint32_t kBauds[] = {9600, 19200, 38400, 57600, 115200};
    Request r{};
    r.kind = static_cast<Kind>(in.Byte() % 3);
    const uint32_t baud = kBauds[in.Byte() % 5];
    uint8_t slave = in.Byte();
    r.slave = (slave & 0x80) ? static_cast<uint8_t>(slave & 0x7F) : 1; // mostly the unit, sometimes broadcast
    r.address = static_cast<uint16_t>(in.Byte() << 8);
    r.address |= in.Byte();
    const uint8_t count = in.Byte();
    r.count = r.kind == kRead       ? 1 + count % nxjbus::kMaxReadCount
              : r.kind == kWriteOne ? 1
                                    : 1 + count % nxjbus::kMaxWriteCount;
    for (uint16_t i = 0; i < r.count; ++i)
        r.values[i] = static_cast<uint16_t>(r.address ^ (i * 0x0101));

    auto owned = std::make_unique<nxjbus::test::FakeLine>(baud);
    nxjbus::test::FakeLine& line = *owned;
    nxjbus::Master bus(std::move(owned), baud);
    const nxjbus::LineTiming& timing = bus.Timing();
    for (int i = 0; i < 4 && !in.Empty(); ++i)
        line.answers.push_back(ScriptAnswer(in, r, timing.charUs));

    nxjbus::Frame frame;
    if (r.kind == kRead)
        nxjbus::BuildReadRequest(frame, r.slave, r.address, r.count);
    else if (r.kind == kWriteOne)
        nxjbus::BuildWriteOneRequest(frame, r.slave, r.address, r.values[0]);
    else
        nxjbus::BuildWriteSeveralRequest(frame, r.slave, r.address, r.count, r.values);
    const size_t answerBytes = r.kind == kRead ? 5u + 2u * r.count : 8u;

    for (int call = 0; call < 2; ++call) {
        uint16_t out[nxjbus::kMaxReadCount];
        std::memset(out, 0xA5, sizeof out);
        const size_t requestsBefore = line.requests.size();
        const uint64_t start = line.nowUs;
        const int result = r.kind == kRead ? bus.ReadSeveralWords(r.slave, r.address, r.count, out)
                           : r.kind == kWriteOne
                               ? bus.WriteOneWord(r.slave, r.address, r.values[0])
                               : bus.WriteSeveralWords(r.slave, r.address, r.count, r.values);
        const size_t sent = line.requests.size() - requestsBefore;
        fuzz::Check(result >= 0 && result <= JBUS_ERROR_PORT);
        fuzz::Check(line.nowUs - start <= timing.LongestCallUs(frame.size, answerBytes));
        for (uint64_t quietUs : line.silenceBeforeUs)
            fuzz::Check(quietUs >= timing.silentUs);
        if (frame.size == 0) { // a read from the broadcast address is refused before the line
            fuzz::Check(result == JBUS_ERROR_BAD_FRAME && sent == 0);
            continue;
        }
        fuzz::Check(sent >= 1 && sent <= 2);
        for (size_t i = requestsBefore; i < line.requests.size(); ++i)
            fuzz::Check(line.requests[i] == Bytes(frame.bytes.begin(), frame.bytes.begin() + frame.size));
        if (r.slave == nxjbus::kBroadcastSlave) {
            fuzz::Check(result == JBUS_OK && sent == 1);
            continue;
        }
        fuzz::Check(DeliveredGives(line.delivered.back(), r, frame.bytes.data(), result, out));
        if (result != JBUS_OK && r.kind == kRead)
            for (uint16_t word : out)
                fuzz::Check(word == 0xA5A5); // outputs are written only on success
    }
    return 0;
}
