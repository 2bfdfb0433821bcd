// The unit link through the real Nxjbus.dll, shared by the end-to-end tests that run it against the
// emulator's serial front end: the settings their scripts pass, the bus table, every register operation
// once and the timed polling round.
#pragma once

#include "link/JbusV1.h"
#include "link/JbusV2.h"
#include "nxjbus/Nxjbus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace linkline {

inline std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// The link of the given protocol version, opened on the real bus library.
inline std::unique_ptr<unitlink::CJbus> OpenLink(int protocol, unitlink::ErrorLatch& latch,
                                                 const std::string& port, int baud) {
    unitlink::BusApi bus;
    bus.open = &JbusOpen;
    bus.close = &JbusClose;
    bus.readSeveralWords = &JbusReadSeveralWords;
    bus.writeOneWord = &JbusWriteOneWord;
    bus.writeSeveralWords = &JbusWriteSeveralWords;
    std::unique_ptr<unitlink::CJbus> link;
    if (protocol == 1)
        link = std::make_unique<unitlink::CJbusV1>(bus, latch);
    else
        link = std::make_unique<unitlink::CJbusV2>(bus, latch);
    EXPECT_TRUE(link->Open(port.c_str(), baud)) << "system error " << JbusLastSystemError(-1);
    return link;
}

// Blocks are written back exactly as read, so the unit ends as it was.
inline void EveryRegisterOperationOnce(unitlink::CJbus& link) {
    using namespace unitlink;
    IdentificationBlock id;
    ASSERT_TRUE(link.ReadIdentification(&id));
    EXPECT_FALSE(id.VersionText().empty());
    uint16_t word = 0;
    EXPECT_TRUE(link.ReadUnitState(&word));
    EXPECT_TRUE(link.ReadUnitError(&word));
    EXPECT_TRUE(link.ReadUnitConditions(&word));
    SelectionRecord selection;
    EXPECT_TRUE(link.ReadSelection(&selection));
    ShotResultRecord shot;
    EXPECT_TRUE(link.ReadShotResult(&shot));
    MeasurementRecord measurements;
    EXPECT_TRUE(link.ReadMeasurements(&measurements));
    EXPECT_TRUE(link.ReadCoolingTime(&word));
    EXPECT_TRUE(link.ReadGeneralCounter(&word));
    ImageLayoutRecord layout;
    EXPECT_TRUE(link.ReadImageLayout(&layout));
    LinkCounterRecord counters;
    EXPECT_TRUE(link.ReadLinkCounters(&counters));
    EXPECT_TRUE(link.ReadAcquisitionStatus(&word));
    EXPECT_TRUE(link.WriteCommand(0x0085)); // panel active: harmless at any time
    FactorySettingsBlock factory;
    ASSERT_TRUE(link.ReadFactorySettings(&factory));
    EXPECT_TRUE(link.WriteFactorySettings(&factory));
    CalibrationTable calibration;
    ASSERT_TRUE(link.ReadCalibrationTable(&calibration));
    EXPECT_TRUE(link.WriteCalibrationTable(&calibration));
    PreferenceBlock preferences;
    ASSERT_TRUE(link.ReadPreferences(&preferences));
    EXPECT_TRUE(link.WritePreferences(&preferences));
    UnitTextArea text;
    EXPECT_TRUE(link.ReadUnitText(&text));
    EXPECT_TRUE(link.WriteUnitText(&text));
    DisplayCodeText code;
    EXPECT_TRUE(link.ReadDisplayCode(&code));
    EXPECT_TRUE(link.WriteDisplayCode(&code));
    CounterRecord unitCounters;
    EXPECT_TRUE(link.ReadUnitCounters(&unitCounters));
    uint32_t counter = 0;
    EXPECT_TRUE(link.ReadUnitCounter(&counter));
    EXPECT_EQ(counter, unitCounters.FirstCounter());
    text.bytes.fill(' ');
    text.bytes[39] = 0;
    EXPECT_TRUE(link.WriteHostText(&text));
}

} // namespace linkline
