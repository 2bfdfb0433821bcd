// JBUS master: one request and its answer over a byte transport, with the silent interval, the response
// timeout, staged reading, the fixed order of answer checks and the one retry. Transport-blind.
#pragma once

#include "nxjbus/FrameTrace.h"
#include "nxjbus/JbusFrame.h"
#include "nxjbus/Nxjbus.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace nxjbus {

// What the master needs from a serial port. Implemented by the Win32 port and by test fakes.
class Backend {
public:
    virtual ~Backend() = default;
    // Sends all bytes; false when the port failed (or took fewer bytes).
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Returns when size bytes have arrived or timeoutMs has passed: the number of bytes read (0 on a
    // time-out), or -1 when the port failed. A timeoutMs of 0 takes at once what has arrived already.
    virtual int Read(uint8_t* data, size_t size, uint32_t timeoutMs) = 0;
    // Drops whatever the port has received and not yet been read.
    virtual void Flush() = 0;
    virtual void SleepUs(uint32_t us) = 0;
    virtual uint64_t NowUs() = 0;
    // The system's code for the last port failure, kept for the service trace; 0 when unknown.
    virtual unsigned long LastSystemError() const { return 0; }
};

// strerror-style text of a transfer result.
const char* ResultText(int result) noexcept;

class Master {
public:
    Master(std::unique_ptr<Backend> backend, uint32_t baud, std::unique_ptr<FrameTrace> trace = nullptr);

    // Each returns a JbusResult. Outputs are written only on success.
    int ReadSeveralWords(uint8_t slave, uint16_t wordAddress, uint16_t count, uint16_t* out);
    int WriteOneWord(uint8_t slave, uint16_t wordAddress, uint16_t value);
    int WriteSeveralWords(uint8_t slave, uint16_t wordAddress, uint16_t count, const uint16_t* values);

    const LineTiming& Timing() const noexcept { return m_timing; }
    unsigned long LastSystemError() const { return m_backend->LastSystemError(); }

private:
    // How one attempt ended; damaged answers and silence are worth one more try, the rest are final.
    enum class Outcome { Done, Retry };
    struct Attempt {
        Outcome outcome = Outcome::Done;
        int result = JBUS_OK;
    };

    int Transact(const Frame& request, uint16_t count, uint16_t* readOut);
    Attempt TryOnce(const Frame& request, uint16_t count, uint16_t* readOut);
    // Reads up to size more bytes of the answer before the attempt's deadline: the number read (fewer
    // on silence or at the deadline), -1 when the port failed.
    int ReadStage(uint8_t* data, size_t size);
    // Lets the rest of a bad answer pass (until the line is silent or the deadline passes) so it cannot
    // be taken for the next answer; keeps what fits after the size bytes already in frame.
    size_t DrainUntilSilent(uint8_t* frame, size_t size, bool& overflow);
    void WaitSilentInterval();

    std::mutex m_mutex; // one request at a time per port, whichever thread calls
    std::unique_ptr<Backend> m_backend;
    LineTiming m_timing;
    std::unique_ptr<FrameTrace> m_trace;
    uint64_t m_lineQuietSinceUs = 0; // end of the last byte on the wire, ours or the unit's
    bool m_lineUsed = false;
    uint64_t m_deadlineUs = 0; // of the attempt in progress
    uint32_t m_firstByteMs = 0;
    bool m_answerStarted = false;
};

} // namespace nxjbus
