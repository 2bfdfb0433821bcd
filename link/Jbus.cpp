// CJbus: the transport under both register maps.
#include "link/Jbus.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace unitlink {

namespace {

// The longest block (the calibration table) is 40 registers; one frame carries at most 125.
constexpr uint16_t kMaxWordsPerRequest = 125;

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

CJbus::CJbus(const BusApi& bus, ErrorLatch& latch, WaitFunction wait)
    : m_bus(bus), m_latch(latch), m_wait(wait ? std::move(wait) : WaitFunction(SleepMs)) {}

CJbus::~CJbus() {
    if (handle != kClosedHandle && m_bus.close)
        m_bus.close(&handle);
}

int CJbus::ReadWords(uint16_t wordAddress, uint16_t count, uint16_t* buffer) {
    const int result = m_bus.readSeveralWords
                           ? m_bus.readSeveralWords(handle, slaveAddress, wordAddress, count, buffer)
                           : kBusResultPortFailed;
    m_latch.RecordError(result + kBusErrorBase);
    return result;
}

int CJbus::WriteWords(uint16_t wordAddress, uint16_t count, const uint16_t* buffer) {
    int result = kBusResultPortFailed;
    if (count == 1) {
        if (m_bus.writeOneWord)
            result = m_bus.writeOneWord(handle, slaveAddress, wordAddress, buffer[0]);
    } else if (m_bus.writeSeveralWords) {
        result = m_bus.writeSeveralWords(handle, slaveAddress, wordAddress, count, buffer);
    }
    m_latch.RecordError(result + kBusErrorBase);
    return result;
}

bool CJbus::Open(const char* portName, int baudRate) {
    // Opening over a handle that is still open would leave that port held until the process ends.
    if (handle != kClosedHandle)
        Close();
    char baudText[16];
    std::snprintf(baudText, sizeof baudText, "%d", baudRate);
    handle = m_bus.open ? m_bus.open(portName ? portName : "", baudText) : kClosedHandle;
    return handle != kClosedHandle;
}

void CJbus::Close() {
    if (m_bus.close)
        m_bus.close(&handle);
    else
        handle = kClosedHandle;
}

int32_t CJbus::GetHandle() { return handle; }

bool CJbus::WriteHostText(const UnitTextArea* text) {
    return WriteFrom(WordOf(hostTextAddress), 20, text, UnitTextArea::kSize);
}

uint16_t CJbus::RegisterWord(uint16_t byteOffset) const noexcept { return WordOf(registerBase + byteOffset); }

bool CJbus::ReadInto(uint16_t wordAddress, uint16_t count, void* out, std::size_t size) {
    if (out)
        std::memset(out, 0, size);
    if (count == 0 || count > kMaxWordsPerRequest)
        return false;
    // The bus library writes into our own buffer, so a failed or partial transfer never reaches the
    // caller's record: it keeps its zeros.
    std::array<uint16_t, kMaxWordsPerRequest> words{};
    if (ReadWords(wordAddress, count, words.data()) != 0)
        return false;
    if (out)
        std::memcpy(out, words.data(), std::min(size, std::size_t{count} * 2));
    return true;
}

bool CJbus::WriteFrom(uint16_t wordAddress, uint16_t count, const void* in, std::size_t size) {
    if (!in || count == 0 || count > kMaxWordsPerRequest)
        return false;
    std::array<uint16_t, kMaxWordsPerRequest> words{};
    std::memcpy(words.data(), in, std::min(size, std::size_t{count} * 2));
    return WriteWords(wordAddress, count, words.data()) == 0;
}

bool CJbus::WriteCommandAt(uint16_t byteOffset, uint16_t command) {
    const bool ok = WriteWords(RegisterWord(byteOffset), 1, &command) == 0;
    // The unit restarts after this command; give it its time whatever the write reported.
    if ((command & 0xFF) == kRestartCommand)
        m_wait(kRestartSettleMs);
    return ok;
}

} // namespace unitlink
