// In-process bus library: the five bus functions served by the unit model inside the calling process,
// plus the scenario-control entry points, so that Windows tests run the module without a serial line.
// Like the real library it writes the service trace named by NXJBUS_TRACE (the frames the unit would
// have exchanged), and it can answer from such a trace instead of the model (LUMEN_EMU_REPLAY).
#include "nxjbus/Nxjbus.h"

#include "emulator/Clock.h"
#include "emulator/ControlLine.h"
#include "emulator/LinkReplay.h"
#include "emulator/UnitModel.h"
#include "nxjbus/FrameTrace.h"
#include "nxjbus/JbusFrame.h"
#include "nxjbus/JbusMaster.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

extern "C" {
__declspec(dllexport) int EmuControl(const char* line, char* reply, int replySize);
__declspec(dllexport) void EmuAdvanceMs(unsigned ms);
}

namespace {

// Built on first use, never in DllMain.
struct Emulator {
    std::mutex mutex;
    emu::ScaledClock clock;
    std::unique_ptr<emu::UnitModel> model;
    std::set<int> handles;
    int nextHandle = 1;
    std::string portName = "COM1"; // of the last opening, for the trace's lines
    std::string recordPath;
    std::unique_ptr<nxjbus::FrameTrace> trace;
    std::unique_ptr<emu::LinkReplay> replay;

    Emulator() {
        const char* version = std::getenv("LUMEN_EMU_VERSION");
        model = std::make_unique<emu::UnitModel>(clock, version && emu::UnitModel::IsValidVersion(version)
                                                            ? version
                                                            : emu::defaults::kDefaultVersion);
        if (const char* path = std::getenv("NXJBUS_TRACE"))
            recordPath = path;
        if (const char* path = std::getenv("LUMEN_EMU_REPLAY"); path && *path)
            LoadReplay(path); // a bad trace leaves the model answering; "replay status" tells why
    }

    std::string LoadReplay(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return "error: cannot read " + path;
        nxjbus::Trace recorded;
        std::string why;
        if (!nxjbus::ReadTrace(in, recorded, why))
            return "error: " + path + ": " + why;
        const size_t count = recorded.exchanges.size();
        replay = std::make_unique<emu::LinkReplay>(std::move(recorded));
        return "ok replaying " + std::to_string(count) + " exchanges";
    }
    void OpenTrace() {
        if (!recordPath.empty() && !trace)
            trace = nxjbus::FrameTrace::Open(recordPath.c_str(), portName);
    }
};

uint64_t NowUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Below this a recorded answer time is the unit's ordinary turnaround, which the in-process bus does
// not imitate; above it (a slow unit, a long block at a low rate) the module may notice, so it is kept.
constexpr uint32_t kReplayDelayFloorMs = 50;

Emulator& Instance() {
    static Emulator emulator;
    return emulator;
}

// "COM1".."COM9", with or without the "\\.\" device prefix.
bool IsKnownPort(const char* port) {
    if (!port)
        return false;
    std::string name(port);
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

bool IsKnownBaud(const char* baud) {
    if (!baud)
        return false;
    for (const char* known : {"0", "9600", "19200", "38400", "57600", "115200"})
        if (std::strcmp(baud, known) == 0)
            return true;
    return false;
}

// The frame the unit sends back for a request and the model's result.
std::vector<uint8_t> AnswerFrame(const nxjbus::Frame& request, int result, const uint16_t* words,
                                 uint16_t count, bool corrupt) {
    std::vector<uint8_t> a{request.bytes[0], request.bytes[1]};
    if (result != emu::kOk) {
        a[1] |= nxjbus::kExceptionBit;
        a.push_back(static_cast<uint8_t>(result));
    } else if (request.bytes[1] == nxjbus::kReadHoldingRegisters) {
        a.push_back(static_cast<uint8_t>(2 * count));
        for (uint16_t i = 0; i < count; ++i) {
            a.push_back(static_cast<uint8_t>(words[i] >> 8));
            a.push_back(static_cast<uint8_t>(words[i] & 0xFF));
        }
    } else {
        for (size_t i = 2; i < 6; ++i) // the echo of address and value or quantity
            a.push_back(request.bytes[i]);
    }
    uint16_t crc = nxjbus::Crc16(a.data(), a.size());
    if (corrupt)
        crc ^= 0xFFFF;
    a.push_back(static_cast<uint8_t>(crc & 0xFF));
    a.push_back(static_cast<uint8_t>(crc >> 8));
    return a;
}

// One attempt's answer as the trace and the module see it.
struct Attempt {
    int result = JBUS_ERROR_NO_ANSWER;
    bool final = false; // silence and damaged answers get the one retry, as with the real stack
    std::vector<uint8_t> answer;
    const char* note = nullptr;
};

// One attempt answered from the recorded session. Called with the lock held; may release it to wait.
Attempt ReplayAttempt(Emulator& e, std::unique_lock<std::mutex>& lock, const nxjbus::Frame& frame,
                      uint16_t count, uint16_t* readOut) {
    const nxjbus::Exchange* found = e.replay->Next(frame.bytes.data(), frame.size);
    if (!found)
        return {JBUS_ERROR_NO_ANSWER, false, {}, "replay diverged"};
    // A copy: another trace may be loaded while this request waits out its delay.
    const nxjbus::Exchange exchange = *found;
    const nxjbus::Exchange* x = &exchange;
    if (const uint32_t delay = emu::AnswerDelayMs(*x); delay >= kReplayDelayFloorMs) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        lock.lock();
    }
    const std::vector<uint8_t>& a = x->answer;
    switch (nxjbus::ClassifyAnswer(*x)) {
    case nxjbus::AnswerKind::Silence:
        return {JBUS_ERROR_NO_ANSWER, false, {}, "no answer"};
    case nxjbus::AnswerKind::Good:
        if (readOut)
            for (uint16_t i = 0; i < count; ++i)
                readOut[i] = static_cast<uint16_t>((a[3 + 2 * i] << 8) | a[4 + 2 * i]);
        return {JBUS_OK, true, a, nullptr};
    case nxjbus::AnswerKind::Exception:
        if (a[2] == 0 || a[2] > JBUS_EXCEPTION_LAST)
            return {JBUS_ERROR_BAD_FRAME, true, a, "unknown exception code"};
        return {a[2], true, a, "exception answer"};
    case nxjbus::AnswerKind::BadFrame:
        return {JBUS_ERROR_BAD_FRAME, true, a, "answer does not fit the request"};
    default:
        return {JBUS_ERROR_BAD_FRAME, false, a, "bad CRC"};
    }
}

// One attempt served by the model, with the fault injection of the control lines.
template <typename Transfer>
Attempt ModelAttempt(Emulator& e, std::unique_lock<std::mutex>& lock, const emu::Request& request,
                     const nxjbus::Frame& frame, uint16_t count, uint16_t* readOut, Transfer transfer) {
    const emu::LinkFault fault = e.model->BeginRequest(request);
    switch (fault.kind) {
    case emu::FaultKind::NoAnswer:
        e.model->CountFrame(false); // the unit never got a frame it could decode
        return {JBUS_ERROR_NO_ANSWER, false, {}, "no answer"};
    case emu::FaultKind::Exception:
        e.model->CountFrame(true);
        return {fault.exceptionCode, true, AnswerFrame(frame, fault.exceptionCode, nullptr, 0, false),
                "exception answer"};
    case emu::FaultKind::Slow:
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
        lock.lock();
        break;
    default:
        break;
    }
    e.model->CountFrame(true);
    const int result = transfer(*e.model);
    // A corrupted answer: the unit did the work, the master cannot know.
    const bool corrupt = fault.kind == emu::FaultKind::BadCrc;
    std::vector<uint8_t> answer =
        e.trace ? AnswerFrame(frame, result, readOut, count, corrupt) : std::vector<uint8_t>{};
    if (corrupt)
        return {JBUS_ERROR_BAD_FRAME, false, std::move(answer), "bad CRC"};
    return {result, true, std::move(answer), result == emu::kOk ? nullptr : "exception answer"};
}

// One request through the model or the replayed session. Like the real stack, a request met by silence
// or a damaged answer is sent once more; the unit sees (and the trace notes) both.
template <typename Transfer>
int Serve(int handle, unsigned char slave, const emu::Request& request, const nxjbus::Frame& frame,
          uint16_t* readOut, Transfer transfer) {
    Emulator& e = Instance();
    std::unique_lock lock(e.mutex);
    if (!e.handles.count(handle) || e.model->PortFailed())
        return JBUS_ERROR_PORT;
    if (!e.replay && slave != emu::defaults::kDefaultSlave)
        return JBUS_ERROR_NO_ANSWER; // another slave's request: this unit keeps silent
    Attempt attempt;
    for (int n = 0; n < 2 && !attempt.final; ++n) {
        if (e.trace) {
            if (n > 0)
                e.trace->Note("retry", NowUs());
            e.trace->Frame("TX", frame.bytes.data(), frame.size, NowUs());
        }
        attempt = e.replay ? ReplayAttempt(e, lock, frame, request.count, readOut)
                           : ModelAttempt(e, lock, request, frame, request.count, readOut, transfer);
        if (e.trace) {
            if (!attempt.answer.empty())
                e.trace->Frame("RX", attempt.answer.data(), attempt.answer.size(), NowUs());
            if (attempt.note)
                e.trace->Note(attempt.note, NowUs());
        }
    }
    if (e.trace && attempt.result != JBUS_OK) {
        const std::string text =
            "result " + std::to_string(attempt.result) + ": " + nxjbus::ResultText(attempt.result);
        e.trace->Note(text.c_str(), NowUs());
    }
    return attempt.result;
}

} // namespace

extern "C" {

int JbusOpen(const char* port, const char* baud) {
    Emulator& e = Instance();
    std::lock_guard lock(e.mutex);
    if (!IsKnownPort(port) || !IsKnownBaud(baud) || e.model->PortMissing())
        return -1;
    const int handle = e.nextHandle++;
    e.handles.insert(handle);
    e.portName = port;
    if (e.portName.rfind("\\\\.\\", 0) == 0)
        e.portName.erase(0, 4);
    for (char& c : e.portName)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    e.OpenTrace();
    return handle;
}

void JbusClose(int* handle) {
    if (!handle)
        return;
    Emulator& e = Instance();
    std::lock_guard lock(e.mutex);
    e.handles.erase(*handle);
    *handle = -1;
}

int JbusReadSeveralWords(int handle, unsigned char slave, unsigned short wordAddress, unsigned short count,
                         unsigned short* buffer) {
    // A request no answer could satisfy is never sent, as with the real stack.
    if (!buffer || count == 0 || count > emu::kMaxReadWords)
        return JBUS_ERROR_BAD_FRAME;
    nxjbus::Frame frame;
    nxjbus::BuildReadRequest(frame, slave, wordAddress, count);
    return Serve(handle, slave, {3, wordAddress, count, 0}, frame, buffer,
                 [&](emu::UnitModel& m) { return m.ReadRegisters(wordAddress, count, buffer); });
}

int JbusWriteOneWord(int handle, unsigned char slave, unsigned short wordAddress, unsigned short value) {
    nxjbus::Frame frame;
    nxjbus::BuildWriteOneRequest(frame, slave, wordAddress, value);
    return Serve(handle, slave, {6, wordAddress, 1, value}, frame, nullptr,
                 [&](emu::UnitModel& m) { return m.WriteRegisters(wordAddress, 1, &value); });
}

int JbusWriteSeveralWords(int handle, unsigned char slave, unsigned short wordAddress, unsigned short count,
                          const unsigned short* buffer) {
    if (!buffer || count == 0 || count > emu::kMaxWriteWords)
        return JBUS_ERROR_BAD_FRAME;
    nxjbus::Frame frame;
    nxjbus::BuildWriteSeveralRequest(frame, slave, wordAddress, count, buffer);
    return Serve(handle, slave, {16, wordAddress, count, buffer[0]}, frame, nullptr,
                 [&](emu::UnitModel& m) { return m.WriteRegisters(wordAddress, count, buffer); });
}

int EmuControl(const char* line, char* reply, int replySize) {
    emu::ControlResult result;
    if (!line) {
        result = {false, "error: no line"};
    } else {
        Emulator& e = Instance();
        std::lock_guard lock(e.mutex);
        std::string text(line);
        if (text.rfind("version ", 0) == 0) {
            // Another firmware: the unit restarts with it, as after a power cycle.
            const std::string version = text.substr(8);
            if (emu::UnitModel::IsValidVersion(version)) {
                e.model = std::make_unique<emu::UnitModel>(e.clock, version);
                result = {true, "ok"};
            } else {
                result = {false, "error: version text of at most 5 characters, e.g. 1.02"};
            }
        } else if (text.rfind("record ", 0) == 0) {
            // The trace of what follows, as the real library writes it; "record off" closes it.
            e.trace.reset();
            e.recordPath = text == "record off" ? std::string() : text.substr(7);
            if (!e.handles.empty())
                e.OpenTrace();
            result = {true, "ok"};
        } else if (text == "replay status") {
            result = {true, e.replay ? e.replay->Status() : "replay: off"};
        } else if (text == "replay off") {
            e.replay.reset();
            result = {true, "ok"};
        } else if (text.rfind("replay ", 0) == 0) {
            const std::string reply = e.LoadReplay(text.substr(7));
            result = {reply.rfind("ok", 0) == 0, reply};
        } else {
            result = emu::ExecuteControlLine(*e.model, text);
        }
    }
    if (reply && replySize > 0) {
        const size_t n = std::min(result.reply.size(), static_cast<size_t>(replySize - 1));
        std::memcpy(reply, result.reply.data(), n);
        reply[n] = '\0';
    }
    return result.ok ? 0 : 1;
}

void EmuAdvanceMs(unsigned ms) {
    Emulator& e = Instance();
    std::lock_guard lock(e.mutex);
    e.clock.Skip(ms);
}

} // extern "C"
