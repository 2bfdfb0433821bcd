// The transport's latch rules and handle, and the exact requests of every register operation on
// both protocol versions.
#include "FakeBus.h"
#include "link/JbusV1.h"
#include "link/JbusV2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace unitlink;
using linktest::BusCall;
using linktest::FakeBus;
using linktest::Reg;

namespace {

struct Fixture : ::testing::Test {
    FakeBus bus;
    ErrorLatch latch;
    std::vector<unsigned> waits;
    template <typename T> std::unique_ptr<CJbus> Make() {
        auto link = std::make_unique<T>(bus.Api(), latch, [this](unsigned ms) { waits.push_back(ms); });
        link->Open("COM1", 19200);
        bus.calls.clear();
        return link;
    }
};

using JbusTransport = Fixture;

TEST_F(JbusTransport, LatchKeepsTheFirstFailureUntilCleared) {
    auto link = Make<CJbusV2>();
    uint16_t state = 0;
    EXPECT_TRUE(link->ReadUnitState(&state));
    for (const int fail : {5, 7}) {
        bus.failAll = fail;
        EXPECT_FALSE(link->ReadUnitState(&state));
    }
    EXPECT_EQ(latch.GetLatchedError(), 105);
    latch.Clear();
    EXPECT_EQ(latch.GetLatchedError(), 0);
}

TEST_F(JbusTransport, OpenAndWriteRequests) {
    CJbusV1 link(bus.Api(), latch);
    EXPECT_EQ(link.GetHandle(), -1);
    EXPECT_TRUE(link.Open("COM3", 38400));
    EXPECT_EQ(bus.calls.at(0).port + ":" + bus.calls.at(0).baud, "COM3:38400");
    EXPECT_EQ(link.GetHandle(), 7);
    // One word goes as a single write, more as a multiple write, on the link's handle.
    const uint16_t words[2] = {0x1234, 0x5678};
    EXPECT_EQ(link.WriteWords(0x7040, 1, words) + link.WriteWords(0x7041, 2, words), 0);
    EXPECT_EQ(bus.calls.at(1).kind, BusCall::WriteOne);
    EXPECT_EQ(bus.calls.at(2).words, (std::vector<uint16_t>{0x1234, 0x5678}));
    EXPECT_EQ(bus.calls.at(2).handle, 7);
    // Re-opening an open link first releases the port it holds.
    bus.openHandle = -1;
    EXPECT_FALSE(link.Open("COM4", 0));
    ASSERT_EQ(bus.calls.size(), 5u);
    EXPECT_EQ(bus.calls[3].kind, BusCall::Close);
    EXPECT_EQ(link.GetHandle(), -1);
}

// One register operation, run once against the fake bus.
struct Operation {
    const char* name;
    std::function<bool(CJbus&)> run;
};

// A read that fails must hand back zeros, whatever the record held and the bus library left behind.
template <typename Record> std::function<bool(CJbus&)> Reads(bool (CJbus::*op)(Record*)) {
    return [op](CJbus& l) {
        Record r;
        std::memset(static_cast<void*>(&r), 0xA5, sizeof r);
        const bool ok = (l.*op)(&r);
        const auto* p = reinterpret_cast<const uint8_t*>(&r);
        for (std::size_t i = 0; i < sizeof r && !ok; ++i)
            EXPECT_EQ(p[i], 0) << "byte " << i << " after a failed read";
        return ok;
    };
}
template <typename Record> std::function<bool(CJbus&)> Writes(bool (CJbus::*op)(const Record*)) {
    return [op](CJbus& l) {
        Record r;
        return (l.*op)(&r);
    };
}

const std::vector<Operation>& AllOperations() {
    static const std::vector<Operation> ops = {
        {"ReadIdentification", Reads(&CJbus::ReadIdentification)},
        {"ReadUnitState", Reads<uint16_t>(&CJbus::ReadUnitState)},
        {"ReadUnitError", Reads<uint16_t>(&CJbus::ReadUnitError)},
        {"ReadUnitConditions", Reads<uint16_t>(&CJbus::ReadUnitConditions)},
        {"ReadSelection", Reads(&CJbus::ReadSelection)},
        {"ReadShotResult", Reads(&CJbus::ReadShotResult)},
        {"ReadMeasurements", Reads(&CJbus::ReadMeasurements)},
        {"ReadCoolingTime", Reads<uint16_t>(&CJbus::ReadCoolingTime)},
        {"ReadGeneralCounter", Reads<uint16_t>(&CJbus::ReadGeneralCounter)},
        {"ReadImageLayout", Reads(&CJbus::ReadImageLayout)},
        {"ReadLinkCounters", Reads(&CJbus::ReadLinkCounters)},
        {"ReadAcquisitionStatus", Reads<uint16_t>(&CJbus::ReadAcquisitionStatus)},
        {"WriteCommand", [](CJbus& l) { return l.WriteCommand(0x0104); }},
        {"ReadFactorySettings", Reads(&CJbus::ReadFactorySettings)},
        {"WriteFactorySettings", Writes(&CJbus::WriteFactorySettings)},
        {"ReadCalibrationTable", Reads(&CJbus::ReadCalibrationTable)},
        {"WriteCalibrationTable", Writes(&CJbus::WriteCalibrationTable)},
        {"ReadPreferences", Reads(&CJbus::ReadPreferences)},
        {"WritePreferences", Writes(&CJbus::WritePreferences)},
        {"ReadUnitText", Reads(&CJbus::ReadUnitText)},
        {"WriteUnitText", Writes(&CJbus::WriteUnitText)},
        {"ReadDisplayCode", Reads(&CJbus::ReadDisplayCode)},
        {"WriteDisplayCode", Writes(&CJbus::WriteDisplayCode)},
        {"ReadUnitCounters", Reads(&CJbus::ReadUnitCounters)},
        {"ReadUnitCounter", Reads<uint32_t>(&CJbus::ReadUnitCounter)},
        {"WriteHostText", Writes(&CJbus::WriteHostText)},
    };
    return ops;
}

constexpr auto R = BusCall::Read;
constexpr auto W1 = BusCall::WriteOne;
constexpr auto WN = BusCall::WriteSeveral;

using Requests = std::vector<BusCall>;
BusCall Req(BusCall::Kind k, uint16_t a, uint16_t n) {
    return BusCall{k, 0, 0, a, n};
}

// Word addresses worked out by hand from the register map, in operation order.
const std::vector<Requests> kExpectedV1 = {
    {Req(R, 0x7000, 15)},  {Req(R, 0x700F, 1)},   {Req(R, 0x7010, 1)},   {Req(R, 0x7011, 1)},
    {Req(R, 0x7012, 7)},   {Req(R, 0x7019, 5)},   {Req(R, 0x701E, 8)},   {Req(R, 0x7026, 1)},
    {Req(R, 0x7027, 1)},   {Req(R, 0x7028, 4)},   {Req(R, 0x702C, 9)},   {},
    {Req(W1, 0x7040, 1)},  {Req(R, 0x7041, 16)},  {Req(WN, 0x7041, 16)}, {Req(R, 0x7051, 40)},
    {Req(WN, 0x7051, 40)}, {Req(R, 0x7079, 20)},  {Req(WN, 0x7079, 20)}, {Req(R, 0x708D, 20)},
    {Req(WN, 0x708D, 20)}, {Req(R, 0x70A1, 2)},   {Req(WN, 0x70A1, 2)},  {Req(R, 0x6809, 5)},
    {Req(R, 0x6809, 2)},   {Req(WN, 0x6818, 20)},
};
// clang-format off
const std::vector<Requests> kExpectedV2 = {
    {Req(R, Reg(0), 15)},   {Req(R, Reg(30), 1)},   {Req(R, Reg(32), 1)},  {Req(R, Reg(34), 1)},
    {Req(R, Reg(36), 6), Req(R, Reg(92), 1)},       {Req(R, Reg(48), 11)}, {Req(R, Reg(70), 8)},
    {Req(R, Reg(86), 1)},   {Req(R, Reg(88), 1)},   {Req(R, Reg(94), 4)},  {Req(R, Reg(102), 9)},
    {Req(R, Reg(90), 1)},   {Req(W1, Reg(128), 1)}, {Req(R, Reg(130), 16)}, {Req(WN, Reg(130), 16)},
    {Req(R, Reg(162), 40)}, {Req(WN, Reg(162), 40)}, {Req(R, Reg(242), 20)}, {Req(WN, Reg(242), 20)},
    {Req(R, Reg(282), 20)}, {Req(WN, Reg(282), 20)}, {Req(R, Reg(322), 2)}, {Req(WN, Reg(322), 2)},
    {Req(R, 0x6809, 5)},    {Req(R, 0x6809, 2)},    {Req(WN, 0x6817, 20)},
};
// clang-format on

void CheckRequests(CJbus& link, FakeBus& bus, const std::vector<Requests>& expected) {
    const auto& ops = AllOperations();
    ASSERT_EQ(ops.size(), expected.size());
    for (std::size_t i = 0; i < ops.size(); ++i) {
        bus.calls.clear();
        EXPECT_TRUE(ops[i].run(link)) << ops[i].name;
        const Requests got = bus.Transfers();
        EXPECT_EQ(got, expected[i]) << ops[i].name;
        for (const auto& c : got)
            EXPECT_EQ(c.slave, 1u) << ops[i].name;
    }
}

using RegisterMap = Fixture;

TEST_F(RegisterMap, RequestsMatchTheMapAndFailedReadsYieldZeros) {
    auto v1 = Make<CJbusV1>();
    auto v2 = Make<CJbusV2>();
    EXPECT_EQ(v1->GetProtocolVersion(), 1);
    EXPECT_EQ(v2->GetProtocolVersion(), 2);
    CheckRequests(*v1, bus, kExpectedV1);
    CheckRequests(*v2, bus, kExpectedV2);
    bus.failAll = 13;
    for (const auto& op : AllOperations()) {
        SCOPED_TRACE(op.name);
        op.run(*v1);
        op.run(*v2);
    }
}

TEST_F(RegisterMap, Version1ConditionsAreRepackedIntoTheVersion2Layout) {
    // Each surviving bit moves on its own, and the dropped ones (4, 7, 10, 11, 15) vanish.
    const int moved[16] = {0, 1, 2, 3, -1, 4, 5, -1, 6, 7, -1, -1, 13, 14, 15, -1};
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_EQ(RepackConditionsV1(static_cast<uint16_t>(1u << bit)), moved[bit] < 0 ? 0 : 1u << moved[bit])
            << bit;
    bus.registers[Reg(34)] = 0x3021; // bits 0, 5, 12, 13
    uint16_t v1 = 0;
    EXPECT_TRUE(Make<CJbusV1>()->ReadUnitConditions(&v1));
    EXPECT_EQ(v1, 0x6011);
}

TEST_F(RegisterMap, Version2SelectionIsAssembledFromTwoReads) {
    auto link = Make<CJbusV2>();
    const uint16_t words[6] = {85, 0x2222, 0x3333, 0xAB13, 1, 2};
    for (int i = 0; i < 6; ++i)
        bus.registers[static_cast<uint16_t>(Reg(36) + i)] = words[i];
    bus.registers[Reg(92)] = 2;
    SelectionRecord s;
    EXPECT_TRUE(link->ReadSelection(&s));
    EXPECT_EQ((std::vector<int>{s.KvSetPoint(), s.ProgramCode(), s.U8(7), s.Build(), s.Nox()}),
              (std::vector<int>{85, 0x13, 0, 2, 2})); // the program register's high byte is not selection

    // Either read failing fails the whole selection, and both requests still go out.
    for (const uint16_t failing : {Reg(92), Reg(36)}) {
        bus.failAt = {{failing, 12}};
        bus.calls.clear();
        EXPECT_FALSE(link->ReadSelection(&s));
        EXPECT_EQ(bus.Transfers().size(), 2u);
        EXPECT_EQ(s.KvSetPoint() + s.Nox(), 0);
    }
}

TEST_F(RegisterMap, RestartCommandWaitsForTheUnitWhateverTheResult) {
    auto link = Make<CJbusV2>();
    EXPECT_TRUE(link->WriteCommand(0x0081));
    EXPECT_TRUE(link->WriteCommand(0x0080));
    bus.failAll = 6;
    EXPECT_FALSE(link->WriteCommand(0x1280));
    EXPECT_FALSE(link->WriteCommand(0x8000)) << "0x80 in the high byte is an argument, not the command";
    EXPECT_EQ(waits, (std::vector<unsigned>{3000, 3000}));
}

} // namespace
