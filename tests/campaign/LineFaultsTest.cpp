// The fault relay's decisions, call grouping and reconciliation: a mistake here would let the line-fault
// campaign pass on a wrong count or blame the bus library for the relay's own error.
#include "tests/campaign/LineFaults.h"

#include <gtest/gtest.h>

namespace {

using namespace campaign::line;

TEST(LineFaults, DrawIsSeededAndKeepsItsRates) {
    FaultDraw a(7), b(7), c(8);
    int differ = 0;
    size_t counts[kFaultKinds] = {};
    for (int i = 0; i < 200000; ++i) {
        const Fault fa = a.Next();
        EXPECT_EQ(fa, b.Next());
        differ += fa != c.Next();
        ++counts[static_cast<int>(fa)];
    }
    EXPECT_GT(differ, 0);
    // 1 %, 1 %, 0.5 %, 0.5 % of 200,000, within about four standard deviations.
    const size_t expected[kFaultKinds] = {0, 2000, 2000, 1000, 1000};
    for (int k = 1; k < kFaultKinds; ++k)
        EXPECT_NEAR(static_cast<double>(counts[k]), expected[k], expected[k] == 2000 ? 180 : 130) << FaultName(static_cast<Fault>(k));
    for (size_t size : {2u, 5u, 85u})
        for (int i = 0; i < 50; ++i) {
            const size_t cut = a.CutLength(size);
            EXPECT_GE(cut, 1u);
            EXPECT_LT(cut, size);
        }
}

TEST(LineFaults, FrameLengthsFromTheirHeaders) {
    struct Case {
        std::vector<uint8_t> bytes;
        size_t request, answer;
    } cases[] = {
        {{0x01}, 0, 0},
        {{0x01, 0x03, 0x20}, 8, 5 + 0x20},
        {{0x01, 0x06, 0x68}, 8, 8},
        {{0x01, 0x10, 0x68, 0x17, 0x00, 0x02}, 0, 8}, // the write's byte count not there yet
        {{0x01, 0x10, 0x68, 0x17, 0x00, 0x02, 0x04}, 13, 8},
        {{0x01, 0x83, 0x02}, SIZE_MAX, 5}, // not a request this line carries: passed on as it is
        {{0x01, 0x2B, 0x00}, SIZE_MAX, SIZE_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(RequestLength(c.bytes.data(), c.bytes.size()), c.request);
        EXPECT_EQ(AnswerLength(c.bytes.data(), c.bytes.size()), c.answer);
    }
}

// One scene per grouping rule: which requests are retries, which attempt each answer belongs to, and
// which answers came late or crossed into a later call.
TEST(LineFaults, LedgerGroupsRetriesAndMarksLateAnswers) {
    const uint8_t read[8] = {1, 3, 0x70, 0x41, 0, 16, 0, 0};
    const uint8_t write[8] = {1, 6, 0x68, 0x17, 0x40, 0, 0, 0};
    CallLedger ledger;
    CallLedger::Attempt owner;
    EXPECT_FALSE(ledger.OnAnswer(Fault::None, owner)) << "an answer nobody asked for";
    auto at = [](CallLedger::Attempt a) { return std::make_pair(a.call, a.attempt); };
    EXPECT_EQ(at(ledger.OnRequest(read, 8)), std::make_pair(size_t{0}, 0));
    ASSERT_TRUE(ledger.OnAnswer(Fault::BadCrc, owner));
    ledger.OnReleased(owner, false);
    EXPECT_EQ(at(ledger.OnRequest(read, 8)), std::make_pair(size_t{0}, 1)); // the same frame: its retry
    ASSERT_TRUE(ledger.OnAnswer(Fault::None, owner));
    ledger.OnReleased(owner, false);
    EXPECT_EQ(at(ledger.OnRequest(write, 8)), std::make_pair(size_t{1}, 0));
    // The unit was slow: the master retried before the first answer came; each answer goes to its request.
    EXPECT_EQ(at(ledger.OnRequest(write, 8)), std::make_pair(size_t{1}, 1));
    ASSERT_TRUE(ledger.OnAnswer(Fault::None, owner));
    EXPECT_EQ(at(owner), std::make_pair(size_t{1}, 0));
    ledger.OnReleased(owner, true);
    EXPECT_EQ(at(ledger.OnRequest(read, 8)), std::make_pair(size_t{2}, 0)); // the next call goes out...
    ASSERT_TRUE(ledger.OnAnswer(Fault::Late, owner));                        // ...before the retry's answer
    EXPECT_EQ(at(owner), std::make_pair(size_t{1}, 1));
    ledger.OnReleased(owner, false);
    ledger.OnRequest(read, 8);
    ledger.OnRequest(read, 8); // a third attempt is no call of its own
    EXPECT_EQ(ledger.ExtraAttempts(), 1u);

    const auto& calls = ledger.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].faults[0], Fault::BadCrc);
    EXPECT_TRUE(calls[1].slow[0]);
    EXPECT_EQ(calls[1].faults[1], Fault::Late);
    EXPECT_FALSE(calls[1].crossed);
    EXPECT_TRUE(calls[2].crossed);
    EXPECT_FALSE(calls[2].answered[0]);
    // A stall of the relay makes everything in flight slow: what waits for its answer and what it holds.
    EXPECT_FALSE(calls[0].slow[1]);
    ledger.OnStall({{0, 1}});
    EXPECT_TRUE(calls[0].slow[1]);
    EXPECT_TRUE(calls[2].slow[0]);

    std::vector<RelayCall> back;
    ASSERT_TRUE(ParseRelayCsv(RelayCsv(calls), back));
    EXPECT_EQ(RelayCsv(back), RelayCsv(calls)); // every field of every call back as it was
    EXPECT_FALSE(ParseRelayCsv("header\n0,3,none,none,1,0,0,0,0\n", back)) << "three attempts";
}

RelayCall Call(int attempts, Fault first, Fault second = Fault::None, bool crossed = false) {
    RelayCall c;
    c.attempts = attempts;
    c.faults[0] = first;
    c.faults[1] = second;
    c.answered[0] = c.answered[1] = true;
    c.crossed = crossed;
    return c;
}

TEST(LineFaults, ResultsEachCallMayEndWith) {
    constexpr uint32_t ok = 1u << 0, e12 = 1u << 12, e13 = 1u << 13;
    struct Case {
        RelayCall call;
        uint32_t allowed;
    } cases[] = {
        {Call(1, Fault::None), ok},
        {Call(1, Fault::Late), ok},
        {Call(1, Fault::BadCrc), 0}, // a damaged answer without its retry is the master's fault
        {Call(2, Fault::Dropped, Fault::None), ok},
        {Call(2, Fault::CutShort, Fault::BadCrc), e13 | e12}, // 12: a master held up past its wait
        {Call(2, Fault::BadCrc, Fault::CutShort), e13 | e12},
        {Call(2, Fault::BadCrc, Fault::Dropped), e12},
        {Call(2, Fault::Dropped, Fault::Late), e12 | ok},
        {Call(2, Fault::Late, Fault::Dropped), e12 | ok},
        {Call(2, Fault::Late, Fault::None), ok | e12}, // the late answer lands near the end of the retry's wait
        {Call(2, Fault::None, Fault::None, true), ok | e12 | e13},
        {Call(2, Fault::None, Fault::BadCrc), ok | e12 | e13}, // a retry the relay did not cause: the line stalled
    };
    RelayCall slow = Call(2, Fault::Dropped, Fault::None);
    slow.slow[1] = true;
    EXPECT_EQ(AllowedResults(slow), ok | e12);

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FaultName(c.call.faults[0])) + "/" + FaultName(c.call.faults[1]));
        EXPECT_EQ(AllowedResults(c.call), c.allowed);
    }
}

TEST(LineFaults, ReconcileCountsEveryFaultByItsEndAndFlagsWhatDoesNotFit) {
    const std::vector<RelayCall> relay = {Call(1, Fault::None), Call(2, Fault::BadCrc, Fault::None),
                                          Call(2, Fault::Dropped, Fault::Dropped), Call(2, Fault::CutShort, Fault::BadCrc)};
    std::vector<DriverCall> driver = {{0, 1, 9000, 500000}, {0, 1, 120000, 500000}, {12, -1, 300000, 500000},
                                      {13, -1, 250000, 500000}};
    Reconciliation r = Reconcile(relay, driver);
    EXPECT_TRUE(r.Passed()) << r.Summary();
    EXPECT_EQ(r.clean, 1u);
    EXPECT_EQ(r.injected[static_cast<int>(Fault::Dropped)], 2u);
    EXPECT_EQ(r.ended12[static_cast<int>(Fault::Dropped)], 2u);
    EXPECT_EQ(r.absorbed[static_cast<int>(Fault::BadCrc)], 1u);
    EXPECT_EQ(r.ended13[static_cast<int>(Fault::BadCrc)], 1u);
    EXPECT_EQ(r.ended13[static_cast<int>(Fault::CutShort)], 1u);
    EXPECT_EQ(r.checkedValues, 2u);

    // Each of these alone must fail the run.
    driver[0].valueOk = 0;
    EXPECT_EQ(Reconcile(relay, driver).wrongValues, 1u);
    driver[0].valueOk = 1;
    driver[2].result = 13;
    EXPECT_FALSE(Reconcile(relay, driver).Passed());
    driver[2].result = 12;
    driver[3].elapsedUs = 500001;
    EXPECT_TRUE(Reconcile(relay, driver).Passed()) << "within the scheduling allowance";
    EXPECT_EQ(Reconcile(relay, driver).overBound, 1u);
    driver[3].elapsedUs = 500001 + kSchedulingAllowanceUs;
    EXPECT_EQ(Reconcile(relay, driver).overAllowance, 1u);
    driver[3].elapsedUs = 1;
    driver.pop_back();
    EXPECT_FALSE(Reconcile(relay, driver).Passed());

    std::vector<DriverCall> parsed;
    ASSERT_TRUE(ParseDriverCsv("call,operation,result,value_ok,elapsed_us,bound_us\n0,read factory,0,1,9000,532000\n"
                               "1,write host word,12,-1,300000,532000\n",
                               parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1].result, 12);
    EXPECT_EQ(parsed[1].valueOk, -1);
    EXPECT_FALSE(ParseDriverCsv("header\n0,read,zero,1,2,3\n", parsed));
}

} // namespace
