// The unit link's base class: owns the bus handle, turns register requests into bus-library calls,
// feeds every transfer's result to the first-error latch, and declares the register operations that
// the two protocol versions define.
#pragma once

#include "link/BusApi.h"
#include "link/DataBlocks.h"
#include "link/ErrorLatch.h"
#include "link/Records.h"

#include <cstdint>
#include <functional>

namespace unitlink {

// Bus results are latched shifted by this, so success (0) offers 100, which the latch ignores.
inline constexpr int32_t kBusErrorBase = 100;
// A bus-library result for a missing transfer function: the same as "port not open".
inline constexpr int kBusResultPortFailed = 14;
inline constexpr int32_t kClosedHandle = -1;
// After a restart-after-fault command the unit needs this long before it answers again.
inline constexpr unsigned kRestartSettleMs = 3000;
inline constexpr uint8_t kRestartCommand = 0x80;

class CJbus {
public:
    // Waits the given number of milliseconds; tests replace it so a restart costs no real time.
    using WaitFunction = std::function<void(unsigned ms)>;

    CJbus(const BusApi& bus, ErrorLatch& latch, WaitFunction wait = {});
    CJbus(const CJbus&) = delete;
    CJbus& operator=(const CJbus&) = delete;

    // Closes a still-open port so that dropping the link never leaves the serial port held.
    virtual ~CJbus();

    virtual int ReadWords(uint16_t wordAddress, uint16_t count, uint16_t* buffer);
    virtual int WriteWords(uint16_t wordAddress, uint16_t count, const uint16_t* buffer);
    virtual bool Open(const char* portName, int baudRate);
    virtual void Close();
    virtual int32_t GetHandle();

    // Register operations, in the order of the register map. Each returns true when its bus
    // requests succeeded; every read zeroes its whole output first, so a failure yields zeros.
    virtual int GetProtocolVersion() = 0;
    virtual bool ReadIdentification(IdentificationBlock* out) = 0;
    virtual bool ReadUnitState(uint16_t* state) = 0;
    virtual bool ReadUnitError(uint16_t* error) = 0;
    virtual bool ReadUnitConditions(uint16_t* conditions) = 0;
    virtual bool ReadSelection(SelectionRecord* out) = 0;
    virtual bool ReadShotResult(ShotResultRecord* out) = 0;
    virtual bool ReadMeasurements(MeasurementRecord* out) = 0;
    virtual bool ReadCoolingTime(uint16_t* seconds) = 0;
    virtual bool ReadGeneralCounter(uint16_t* value) = 0;
    virtual bool ReadImageLayout(ImageLayoutRecord* out) = 0;
    virtual bool ReadLinkCounters(LinkCounterRecord* out) = 0;
    virtual bool ReadAcquisitionStatus(uint16_t* status) = 0;
    // Low byte the command, high byte its argument.
    virtual bool WriteCommand(uint16_t command) = 0;
    virtual bool ReadFactorySettings(FactorySettingsBlock* out) = 0;
    virtual bool WriteFactorySettings(const FactorySettingsBlock* block) = 0;
    virtual bool ReadCalibrationTable(CalibrationTable* out) = 0;
    virtual bool WriteCalibrationTable(const CalibrationTable* block) = 0;
    virtual bool ReadPreferences(PreferenceBlock* out) = 0;
    virtual bool WritePreferences(const PreferenceBlock* block) = 0;
    virtual bool ReadUnitText(UnitTextArea* out) = 0;
    virtual bool WriteUnitText(const UnitTextArea* text) = 0;
    virtual bool ReadDisplayCode(DisplayCodeText* out) = 0;
    virtual bool WriteDisplayCode(const DisplayCodeText* code) = 0;
    virtual bool ReadUnitCounters(CounterRecord* out) = 0;
    virtual bool ReadUnitCounter(uint32_t* counter) = 0;
    virtual bool WriteHostText(const UnitTextArea* text);

protected:
    // Word address of a register at a byte offset from the register base (halved in 16 bits).
    uint16_t RegisterWord(uint16_t byteOffset) const noexcept;
    static uint16_t WordOf(uint32_t byteAddress) noexcept { return static_cast<uint16_t>(byteAddress) / 2; }

    // Zeroes size bytes of out, reads count registers (at most 64) into it; out keeps zeros on failure.
    bool ReadInto(uint16_t wordAddress, uint16_t count, void* out, std::size_t size);
    bool WriteFrom(uint16_t wordAddress, uint16_t count, const void* in, std::size_t size);
    // Shared by both versions: the command register, with the settle time after a restart.
    bool WriteCommandAt(uint16_t byteOffset, uint16_t command);

    int32_t handle = kClosedHandle;
    uint16_t defaultRegisterBase = 0xE000;
    uint16_t identificationAddress = 0xD012;
    uint16_t hostTextAddress = 0;
    uint8_t slaveAddress = 1;
    uint32_t registerBase = 0;
    uint32_t identificationBase = 0;

private:
    BusApi m_bus;
    ErrorLatch& m_latch;
    WaitFunction m_wait;
};

} // namespace unitlink
