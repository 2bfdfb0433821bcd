// Scenario-control lines: parsing, refusals, and their effect on the unit.
#include "emulator/ControlLine.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

class ControlLineTest : public ::testing::Test {
protected:
    emu::ControlResult Run(const char* line) { return emu::ExecuteControlLine(unit, line); }

    emu::ManualClock clock;
    emu::UnitModel unit{clock};
};

// Arbitrary lines are left to the fuzzer; here each kind of refusal once. The last one: no exposure
// while the panel is not active.
TEST_F(ControlLineTest, MalformedLinesAreRefusedWithoutEffect) {
    // clang-format off
    const char* const lines[] = {"frobnicate", "error -1", "error 70000", "error 12x", "fault exception 12 1",
        "fault noanswer 0", "technical maybe", "expose -5", "fault noanswer 1 on command",
        "fault none on function 3", "history commands 513", "cycle 16", "option 5 0", "selection raw 1 2 3",
        "generator kv 1 nan", "frames 65536 0", "doseunit", "expose"};
    // clang-format on
    for (const char* line : lines) {
        const auto result = Run(line);
        EXPECT_FALSE(result.ok) << line;
        EXPECT_EQ(result.reply.rfind("error:", 0), 0u) << line;
    }
    EXPECT_EQ(unit.ErrorCode(), 0);
    EXPECT_TRUE(Run("  # a comment").ok);
}

TEST_F(ControlLineTest, FaultsMeetTheirKindOfRequestForTheirCount) {
    using K = emu::FaultKind;
    const emu::Request poll{3, 0x700F, 4, 0}, inactive{6, 0x7040, 1, 0x0086}, active{6, 0x7040, 1, 0x0085},
        text{16, 0x7091, 20, 0x2020};
    // Armed line, then requests in order with the fault each must meet; polling in between is untouched.
    const std::pair<const char*, std::vector<std::pair<emu::Request, K>>> cases[] = {
        {"fault noanswer 2 on command 0x0086",
         {{poll, K::None},
          {active, K::None},
          {inactive, K::NoAnswer},
          {poll, K::None},
          {inactive, K::NoAnswer},
          {inactive, K::None}}},
        {"fault badcrc 1 on address 0x7010",
         {{text, K::None}, {inactive, K::None}, {poll, K::BadCrc}, {poll, K::None}}},
        {"fault exception 6 1 on function 16", {{poll, K::None}, {inactive, K::None}, {text, K::Exception}}},
        // A targeted fault goes first; the untargeted one still takes any other request.
        {"fault slow 5 2", {{poll, K::Slow}}},
        {"fault noanswer 1 on function 6", {{inactive, K::NoAnswer}, {poll, K::Slow}, {inactive, K::None}}},
        {"fault badcrc 3", {}},
        {"fault none", {{poll, K::None}}},
    };
    for (const auto& [line, requests] : cases) {
        ASSERT_TRUE(Run(line).ok) << line;
        for (const auto& [request, expected] : requests)
            EXPECT_EQ(unit.BeginRequest(request).kind, expected)
                << line << " function " << int(request.function);
    }
    ASSERT_TRUE(Run("fault slow 250 1").ok);
    EXPECT_EQ(unit.BeginRequest(poll).delayMs, 250u);
}

TEST_F(ControlLineTest, HistoryListsWhatTheLinkDelivered) {
    const uint16_t words[] = {0x4F48, 0x5453};
    unit.BeginRequest({3, 0x700F, 1, 0});
    clock.Skip(250);
    EXPECT_TRUE(Run("fault noanswer 1").ok);
    unit.BeginRequest({16, 0x7040, 1, 0x0086});
    unit.WriteRegisters(0x7040, 1, &words[0]); // not a command: refused
    const uint16_t inactive = 0x0086;
    unit.WriteRegisters(0x7040, 1, &inactive);
    unit.WriteRegisters(0x6817, 2, words);
    EXPECT_EQ(Run("history commands").reply, "n=2 0x4F48:3 0x0086:0");
    EXPECT_EQ(Run("history writes").reply, "n=1 0x6817:0:4F48,5453");
    EXPECT_EQ(Run("history requests").reply, "n=2 0:3:0x700F:1:- 250:16:0x7040:1:noanswer");
    EXPECT_EQ(Run("history requests 1").reply, "n=1 250:16:0x7040:1:noanswer");

    // The replies parse back; a soak keeps only the newest entries.
    for (int i = 0; i < 600; ++i)
        unit.WriteRegisters(0x7040, 1, &inactive);
    std::vector<emu::CommandRecord> commands;
    ASSERT_TRUE(emu::history::ParseCommands(Run("history commands").reply, commands));
    EXPECT_EQ(commands.size(), emu::history::kCapacity);
    EXPECT_EQ(emu::history::CountCommand(commands, 0x0086), emu::history::kCapacity);
    std::vector<emu::RequestRecord> requests;
    ASSERT_TRUE(emu::history::ParseRequests(Run("history requests").reply, requests));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].fault, "noanswer");
    for (const char* bad : {"n=2 0x0086:0", "n=1 0x0086", "n=1 0x10000:0"})
        EXPECT_FALSE(emu::history::ParseCommands(bad, commands)) << bad;

    EXPECT_TRUE(Run("history clear").ok);
    EXPECT_EQ(Run("history requests").reply, "n=0");
}

TEST_F(ControlLineTest, ScenarioInputsAndForcedValuesReachTheRegisters) {
    // Line, then the registers (word address) and the words they must show; later lines build on earlier
    // ones (technical access on and voice off stay in the state word).
    const std::tuple<const char*, uint16_t, std::vector<uint16_t>> lines[] = {
        {"ERROR 0x0C", 0x7010, {12}},
        {"error 0", 0x7010, {0}},
        {"conditions 0x8004", 0x7011, {0x8004}},
        {"technical on", 0x700F, {0x0A00}},
        {"voice off", 0x700F, {0x0800}},
        {"wait 90", 0x702B, {90}},
        {"advance 30000", 0x702B, {60}},
        {"wait none", 0x702B, {65535}},
        {"command 0x0304", 0x7015, {0x03}},
        {"frames 65535 7", 0x7033, {65535, 7}},
        {"counters 70000 4294967295", 0x6809, {70000 & 0xFFFF, 1, 0xFFFF, 0xFFFF}},
        {"selection raw 0xFF 7 9 3", 0x7015, {0xFF, 7, 9}},
        {"selection raw 0xFF 7 9 3", 0x702E, {3}},
        {"cycle 9", 0x700F, {9 << 2 | 0x0800}},
        {"option 2 3", 0x7041 + 7, {3}},
        {"doseunit 1", 0x7079 + 14, {1}},
        {"doseunit 1", 0x7018 + 6, {1}}, // the dose kind of the shot record follows
    };
    for (const auto& [line, address, expected] : lines) {
        ASSERT_TRUE(Run(line).ok) << line;
        std::vector<uint16_t> words(expected.size());
        ASSERT_EQ(unit.ReadRegisters(address, static_cast<uint16_t>(words.size()), words.data()), 0) << line;
        EXPECT_EQ(words, expected) << line;
    }
    EXPECT_EQ(Run("command 0x00FF").reply, "ok refused with exception 3");
    EXPECT_TRUE(Run("port missing").ok);
    EXPECT_TRUE(unit.PortMissing());
    EXPECT_EQ(unit.ErrorCode(), 0) << "forced values within the option lists keep the blocks valid";
    // A held forced state ends with the switch like a real one.
    ASSERT_TRUE(Run("cycle 2").ok);
    ASSERT_TRUE(Run("release").ok);
    EXPECT_EQ(unit.CycleStateNow(), emu::kCycleAbortEmission);
}

TEST_F(ControlLineTest, StoredBlocksBesideTheLiveOnes) {
    const std::string stored = Run("blocks stored factory").reply;
    EXPECT_EQ(stored.substr(0, 14), "374C 2D30 3030") << stored; // "L70-00417"
    EXPECT_EQ(Run("blocks live factory").reply, stored);
    EXPECT_TRUE(Run("option 0 9").ok); // outside the list: the block is refused, the registers keep it
    EXPECT_EQ(Run("blocks stored factory").reply, stored);
    EXPECT_NE(Run("blocks live factory").reply, stored);
    EXPECT_EQ(unit.ErrorCode(), 56);
    EXPECT_EQ(Run("blocks stored cal").reply.size(), 40u * 5 - 1);
}

TEST_F(ControlLineTest, StatusShowsTextsAnnouncementAndInstruments) {
    const uint16_t text[] = {0x4948, 0x2201}, code[] = {0x3245, 0x0031}, announce = 0x0087;
    unit.WriteRegisters(0x6817, 2, text);
    unit.WriteRegisters(0x708D, 2, text);
    unit.WriteRegisters(0x70A1, 2, code);
    unit.WriteRegisters(0x7040, 1, &announce);
    for (const char* line : {"frames 3 4", "generator kv 1.1 -2", "port fail"})
        ASSERT_TRUE(Run(line).ok) << line;
    const std::string status = Run("status").reply;
    for (const char* part :
         {"announced=1", "program=0x70", "display=\"E21\"", " frames=3/4 ", "generator=1.1/-2/1/0",
          "transfer=fail", "unit_text=\"HI\\x01\\\"", "host_text=\"HI\\x01\\\""})
        EXPECT_NE(status.find(part), std::string::npos) << part << " in " << status;
    EXPECT_TRUE(unit.PortFailed());
    EXPECT_TRUE(Run("port ok").ok);
    EXPECT_FALSE(unit.PortFailed());
}

} // namespace
