// JBUS master: request, staged answer reading, answer checks and the one retry.
#include "nxjbus/JbusMaster.h"

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

int Master::ReadStage(uint8_t* data, size_t size, uint32_t firstTimeoutMs) {
    size_t got = 0;
    while (got < size) {
        // The first byte may take the unit's whole turnaround; after that the bytes follow each other,
        // allowing for the wire time of what is still missing.
        uint32_t timeoutMs =
            got == 0 ? firstTimeoutMs : m_timing.interByteMs + (m_timing.WireUs(size - got) + 999) / 1000;
        int n = m_backend->Read(data + got, size - got, timeoutMs);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        firstTimeoutMs = 0;
    }
    return static_cast<int>(got);
}

void Master::DrainUntilSilent() {
    uint8_t scratch[kMaxFrameBytes];
    // Bounded by two longest frames, so a babbling line cannot hold the caller forever.
    uint64_t limit =
        m_backend->NowUs() + 2ull * m_timing.WireUs(kMaxFrameBytes) + 1000ull * m_timing.interByteMs;
    while (m_backend->NowUs() < limit) {
        int n = m_backend->Read(scratch, sizeof scratch, m_timing.interByteMs);
        if (n <= 0)
            break;
        if (m_trace)
            m_trace->Frame("RX(discarded)", scratch, static_cast<size_t>(n), m_backend->NowUs());
    }
    m_backend->Flush();
}

Master::Attempt Master::TryOnce(const Frame& request, uint16_t count, uint16_t* readOut) {
    WaitSilentInterval();
    m_backend->Flush(); // a late answer to an earlier request must not be read as this one's
    if (m_trace)
        m_trace->Frame("TX", request.bytes.data(), request.size, m_backend->NowUs());
    bool written = m_backend->Write(request.bytes.data(), request.size);
    m_lineUsed = true;
    m_lineQuietSinceUs = m_backend->NowUs() + m_timing.WireUs(request.size);
    if (!written)
        return {Outcome::Done, JBUS_ERROR_PORT};

    const uint8_t slave = request.bytes[0];
    const uint8_t function = request.bytes[1];
    if (slave == kBroadcastSlave)
        return {Outcome::Done, JBUS_OK}; // slaves never answer a broadcast

    uint8_t answer[kMaxFrameBytes];
    size_t size = 0;
    auto finish = [&](Outcome outcome, int result, const char* why) -> Attempt {
        m_lineQuietSinceUs = m_backend->NowUs();
        if (m_trace) {
            if (size > 0)
                m_trace->Frame("RX", answer, size, m_lineQuietSinceUs);
            if (why != nullptr)
                m_trace->Note(why, m_lineQuietSinceUs);
        }
        return {outcome, result};
    };
    // Reads the next stage; false when the answer stopped short or the port failed (result in attempt).
    Attempt failed;
    auto stage = [&](size_t bytes, uint32_t firstTimeoutMs) -> bool {
        int got = ReadStage(answer + size, bytes, firstTimeoutMs);
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
    auto reject = [&](const char* why) -> Attempt {
        DrainUntilSilent();
        return finish(Outcome::Done, JBUS_ERROR_BAD_FRAME, why);
    };
    auto crcGood = [&]() {
        uint16_t crc = Crc16(answer, size - 2);
        return answer[size - 2] == (crc & 0xFF) && answer[size - 1] == (crc >> 8);
    };

    const uint32_t responseMs =
        m_timing.ResponseTimeoutMs(request.size, ExpectedAnswerBytes(function, count));
    if (!stage(2, responseMs))
        return failed;
    if (answer[0] != slave)
        return reject("answer from another slave");

    if (answer[1] & kExceptionBit) {
        if ((answer[1] & ~kExceptionBit) != function)
            return reject("exception answer to another function");
        if (!stage(3, 0))
            return failed;
        // A damaged exception answer must not pass for a valid exception code.
        if (!crcGood()) {
            DrainUntilSilent();
            return finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, "bad CRC");
        }
        uint8_t code = answer[2];
        if (code == 0 || code > JBUS_EXCEPTION_LAST)
            return finish(Outcome::Done, JBUS_ERROR_BAD_FRAME, "unknown exception code");
        return finish(Outcome::Done, code, "exception answer");
    }
    if (answer[1] != function)
        return reject("answer to another function");

    if (function == kReadHoldingRegisters) {
        if (!stage(1, 0))
            return failed;
        // The announced length decides nothing: only the length asked for is ever read.
        if (answer[2] != 2u * count)
            return reject("byte count differs from the quantity asked");
        if (!stage(answer[2] + 2u, 0))
            return failed;
    } else {
        if (!stage(6, 0))
            return failed;
        // Both write answers echo the address and the value or quantity of the request.
        if (std::memcmp(answer + 2, request.bytes.data() + 2, 4) != 0) {
            if (!crcGood()) // a damaged echo is line noise, not the unit's answer
                return finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, "bad CRC");
            return finish(Outcome::Done, JBUS_ERROR_BAD_FRAME, "echo differs from the request");
        }
    }
    if (!crcGood()) {
        DrainUntilSilent();
        return finish(Outcome::Retry, JBUS_ERROR_BAD_FRAME, "bad CRC");
    }
    if (readOut != nullptr) {
        for (uint16_t i = 0; i < count; ++i)
            readOut[i] = static_cast<uint16_t>((answer[3 + 2 * i] << 8) | answer[4 + 2 * i]);
    }
    return finish(Outcome::Done, JBUS_OK, nullptr);
}

} // namespace nxjbus
