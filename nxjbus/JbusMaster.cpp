// JBUS master: request, staged answer reading, answer checks and the one retry.
#include "nxjbus/JbusMaster.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace nxjbus {

namespace {

// Texts indexed by result; exception codes the unit may send beyond 6 keep their Modbus names.
constexpr const char* kResultTexts[] = {
    "success",
    "unit answered: illegal function",
    "unit answered: illegal data address",
    "unit answered: illegal data value",
    "unit answered: device failure",
    "unit answered: acknowledge (request accepted, still processing)",
    "unit answered: device busy",
    "unit answered: negative acknowledge",
    "unit answered: memory parity error",
    "unit answered: exception code 9",
    "unit answered: gateway path unavailable",
    "unit answered: gateway target failed to respond",
    "no answer within the response timeout",
    "bad answer: CRC, slave, function or length wrong",
    "port not open, or the port failed to read or write",
};

} // namespace

const char* ResultText(int result) noexcept {
    if (result < 0 || result >= static_cast<int>(std::size(kResultTexts)))
        return "unknown result";
    return kResultTexts[result];
}

Master::Master(std::unique_ptr<Backend> backend, uint32_t baud, std::unique_ptr<FrameTrace> trace)
    : m_backend(std::move(backend)), m_timing(TimingForBaud(baud)), m_trace(std::move(trace)) {}

int Master::ReadSeveralWords(uint8_t slave, uint16_t wordAddress, uint16_t count, uint16_t* out) {
    Frame request;
    if (out == nullptr || !BuildReadRequest(request, slave, wordAddress, count))
        return JBUS_ERROR_BAD_FRAME; // such a request could never get a valid answer; nothing is sent
    return Transact(request, count, out);
}

int Master::WriteOneWord(uint8_t slave, uint16_t wordAddress, uint16_t value) {
    Frame request;
    BuildWriteOneRequest(request, slave, wordAddress, value);
    return Transact(request, 1, nullptr);
}

int Master::WriteSeveralWords(uint8_t slave, uint16_t wordAddress, uint16_t count, const uint16_t* values) {
    Frame request;
    if (!BuildWriteSeveralRequest(request, slave, wordAddress, count, values))
        return JBUS_ERROR_BAD_FRAME;
    return Transact(request, count, nullptr);
}

int Master::Transact(const Frame& request, uint16_t count, uint16_t* readOut) {
    std::lock_guard<std::mutex> hold(m_mutex);
    Attempt attempt = TryOnce(request, count, readOut);
    if (attempt.outcome == Outcome::Retry) {
        if (m_trace)
            m_trace->Note("retry", m_backend->NowUs());
        attempt = TryOnce(request, count, readOut);
    }
    if (m_trace && attempt.result != JBUS_OK) {
        char text[160];
        std::snprintf(text, sizeof text, "result %d: %s (system error %lu)", attempt.result,
                      ResultText(attempt.result), m_backend->LastSystemError());
        m_trace->Note(text, m_backend->NowUs());
    }
    return attempt.result;
}

void Master::WaitSilentInterval() {
    if (!m_lineUsed)
        return;
    uint64_t due = m_lineQuietSinceUs + m_timing.silentUs;
    uint64_t now = m_backend->NowUs();
    if (now < due)
        m_backend->SleepUs(static_cast<uint32_t>(due - now));
}

int Master::ReadStage(uint8_t* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        uint64_t now = m_backend->NowUs();
        uint64_t leftMs = m_deadlineUs > now ? (m_deadlineUs - now) / 1000 : 0;
        // The first byte may take the unit's whole turnaround; every later byte, whatever stage it
        // belongs to, gets the gap allowance plus the wire time of what is still missing. Nothing is
        // waited for past the attempt's deadline (a zero wait takes what has arrived already).
        uint64_t windowMs = m_answerStarted
                                ? m_timing.interByteMs + (m_timing.WireUs(size - got) + 999) / 1000
                                : m_firstByteMs;
        int n = m_backend->Read(data + got, size - got, static_cast<uint32_t>(std::min(windowMs, leftMs)));
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        m_answerStarted = true;
    }
    return static_cast<int>(got);
}

size_t Master::DrainUntilSilent(uint8_t* frame, size_t size, bool& overflow) {
    uint8_t scratch[kMaxFrameBytes];
    overflow = false;
    // Bounded by the attempt's deadline, so a babbling line cannot hold the caller.
    for (;;) {
        uint64_t now = m_backend->NowUs();
        if (now >= m_deadlineUs)
            break;
        uint64_t leftMs = (m_deadlineUs - now) / 1000;
        int n = m_backend->Read(scratch, sizeof scratch,
                                static_cast<uint32_t>(std::min<uint64_t>(m_timing.interByteMs, leftMs)));
        if (n <= 0)
            break;
        size_t keep = std::min(static_cast<size_t>(n), kMaxFrameBytes - size);
        std::memcpy(frame + size, scratch, keep);
        size += keep;
        if (keep < static_cast<size_t>(n)) {
            overflow = true;
            if (m_trace)
                m_trace->Frame("RX(discarded)", scratch + keep, static_cast<size_t>(n) - keep,
                               m_backend->NowUs());
        }
    }
    m_backend->Flush();
    return size;
}

Master::Attempt Master::TryOnce(const Frame& request, uint16_t count, uint16_t* readOut) {
    WaitSilentInterval();
    m_backend->Flush(); // a late answer to an earlier request must not be read as this one's
    if (m_trace)
        m_trace->Frame("TX", request.bytes.data(), request.size, m_backend->NowUs());
    bool written = m_backend->Write(request.bytes.data(), request.size);
    const uint64_t sentUs = m_backend->NowUs();
    m_lineUsed = true;
    // The request is still going out for its wire time; the next silence counts from its end at least.
    m_lineQuietSinceUs = sentUs + m_timing.WireUs(request.size);
    if (!written)
        return {Outcome::Done, JBUS_ERROR_PORT};

    const uint8_t slave = request.bytes[0];
    const uint8_t function = request.bytes[1];
    if (slave == kBroadcastSlave)
        return {Outcome::Done, JBUS_OK}; // slaves never answer a broadcast

    const size_t expected = ExpectedAnswerBytes(function, count);
    m_firstByteMs = m_timing.ResponseTimeoutMs(request.size, expected);
    m_deadlineUs = sentUs + m_timing.AnswerWindowUs(request.size, expected);
    m_answerStarted = false;

    uint8_t answer[kMaxFrameBytes];
    size_t size = 0;
    auto finish = [&](Outcome outcome, int result, const char* why) -> Attempt {
        uint64_t now = m_backend->NowUs();
        if (now > m_lineQuietSinceUs)
            m_lineQuietSinceUs = now; // never earlier than the end of our own request
        if (m_trace) {
            if (size > 0)
                m_trace->Frame("RX", answer, size, now);
            if (why != nullptr)
                m_trace->Note(why, now);
        }
        return {outcome, result};
    };
    // Reads the next stage; false when the answer stopped short or the port failed (result in attempt).
    Attempt failed;
    auto stage = [&](size_t bytes) -> bool {
        int got = ReadStage(answer + size, bytes);
        if (got < 0) {
            failed = finish(Outcome::Done, JBUS_ERROR_PORT, "port failed while reading");
            return false;
        }
        size += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < bytes) {
            // Silence, or an answer cut short (a damaged frame): both deserve the one retry.
            failed = size == 0 ? finish(Outcome::Retry, JBUS_ERROR_NO_ANSWER, "no answer")
                               : finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, "answer cut short");
            m_backend->Flush();
            return false;
        }
        return true;
    };
    auto crcGood = [&]() {
        if (size < 4) // slave, function and the CRC at least
            return false;
        uint16_t crc = Crc16(answer, size - 2);
        return answer[size - 2] == (crc & 0xFF) && answer[size - 1] == (crc >> 8);
    };
    auto damaged = [&]() -> Attempt {
        bool overflow;
        size = DrainUntilSilent(answer, size, overflow);
        return finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, "bad CRC");
    };
    // A header that does not fit the request: a frame whose CRC checks out is some party's real answer
    // and final; otherwise line noise hit the header, which is damage like any other and gets the retry.
    auto unexpected = [&](const char* why) -> Attempt {
        bool overflow;
        size = DrainUntilSilent(answer, size, overflow);
        if (!overflow && crcGood())
            return finish(Outcome::Done, JBUS_ERROR_BAD_FRAME, why);
        char note[96];
        std::snprintf(note, sizeof note, "%s, bad CRC", why);
        return finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, note);
    };

    // Every answer has at least five bytes, so the first read takes three: slave, function and the byte
    // count, exception code or first echo byte. One read less per request on a slow serial driver.
    if (!stage(3))
        return failed;
    if (answer[0] != slave)
        return unexpected("answer from another slave");

    if (answer[1] & kExceptionBit) {
        if ((answer[1] & ~kExceptionBit) != function)
            return unexpected("exception answer to another function");
        if (!stage(2))
            return failed;
        // A damaged exception answer must not pass for a valid exception code.
        if (!crcGood())
            return damaged();
        uint8_t code = answer[2];
        if (code == 0 || code > JBUS_EXCEPTION_LAST)
            return finish(Outcome::Done, JBUS_ERROR_BAD_FRAME, "unknown exception code");
        return finish(Outcome::Done, code, "exception answer");
    }
    if (answer[1] != function)
        return unexpected("answer to another function");

    if (function == kReadHoldingRegisters) {
        // The announced length decides nothing: only the length asked for is ever read.
        if (answer[2] != 2u * count)
            return unexpected("byte count differs from the quantity asked");
        if (!stage(answer[2] + 2u))
            return failed;
    } else {
        if (!stage(5))
            return failed;
        // Both write answers echo the address and the value or quantity of the request.
        if (std::memcmp(answer + 2, request.bytes.data() + 2, 4) != 0)
            return unexpected("echo differs from the request");
    }
    if (!crcGood())
        return damaged();
    if (readOut != nullptr) {
        for (uint16_t i = 0; i < count; ++i)
            readOut[i] = static_cast<uint16_t>((answer[3 + 2 * i] << 8) | answer[4 + 2 * i]);
    }
    return finish(Outcome::Done, JBUS_OK, nullptr);
}

} // namespace nxjbus
