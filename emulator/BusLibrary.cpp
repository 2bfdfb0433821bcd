// In-process bus library: the five bus functions served by the unit model inside the calling process,
// plus the scenario-control entry points, so that Windows tests run the module without a serial line.
#include "nxjbus/Nxjbus.h"

#include "emulator/Clock.h"
#include "emulator/ControlLine.h"
#include "emulator/UnitModel.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
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

    Emulator() {
        const char* version = std::getenv("LUMEN_EMU_VERSION");
        model = std::make_unique<emu::UnitModel>(clock, version && emu::UnitModel::IsValidVersion(version)
                                                            ? version
                                                            : emu::defaults::kDefaultVersion);
    }
};

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

// One request through the model, with the fault injection of the control lines. Like the real stack, a
// request met by silence or a damaged answer is sent once more; the unit sees (and notes) both.
template <typename Transfer>
int Serve(int handle, unsigned char slave, const emu::Request& request, Transfer transfer) {
    Emulator& e = Instance();
    std::unique_lock lock(e.mutex);
    if (!e.handles.count(handle) || e.model->PortFailed())
        return JBUS_ERROR_PORT;
    if (slave != emu::defaults::kDefaultSlave)
        return JBUS_ERROR_NO_ANSWER; // another slave's request: this unit keeps silent
    int result = JBUS_ERROR_NO_ANSWER;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const emu::LinkFault fault = e.model->BeginRequest(request);
        switch (fault.kind) {
        case emu::FaultKind::NoAnswer:
            e.model->CountFrame(false); // the unit never got a frame it could decode
            result = JBUS_ERROR_NO_ANSWER;
            continue;
        case emu::FaultKind::Exception:
            e.model->CountFrame(true);
            return fault.exceptionCode;
        case emu::FaultKind::Slow:
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
            lock.lock();
            break;
        default:
            break;
        }
        e.model->CountFrame(true);
        result = transfer(*e.model);
        // A corrupted answer: the unit did the work, the master cannot know.
        if (fault.kind != emu::FaultKind::BadCrc)
            return result;
        result = JBUS_ERROR_BAD_FRAME;
    }
    return result;
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
    return Serve(handle, slave, {3, wordAddress, count, 0},
                 [&](emu::UnitModel& m) { return m.ReadRegisters(wordAddress, count, buffer); });
}

int JbusWriteOneWord(int handle, unsigned char slave, unsigned short wordAddress, unsigned short value) {
    return Serve(handle, slave, {6, wordAddress, 1, value},
                 [&](emu::UnitModel& m) { return m.WriteRegisters(wordAddress, 1, &value); });
}

int JbusWriteSeveralWords(int handle, unsigned char slave, unsigned short wordAddress, unsigned short count,
                          const unsigned short* buffer) {
    if (!buffer || count == 0 || count > emu::kMaxWriteWords)
        return JBUS_ERROR_BAD_FRAME;
    return Serve(handle, slave, {16, wordAddress, count, buffer[0]},
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
