// Replay of a recorded session: requests met in order, a few left out, one the trace never had.
#include "emulator/LinkReplay.h"

#include <gtest/gtest.h>

namespace emu {
namespace {

nxjbus::Exchange Recorded(uint8_t tag, uint64_t sentUs, uint64_t answerUs) {
    nxjbus::Exchange e;
    e.request = {1, 3, 0x70, tag, 0, 1};
    e.sentUs = sentUs;
    e.answered = answerUs != 0;
    e.answer = {1, 3, 2, 0, tag};
    e.answerUs = answerUs;
    return e;
}

TEST(LinkReplay, PlaysInOrderSkipsWhatTheModuleLeftOutAndReportsTheRest) {
    nxjbus::Trace trace;
    for (uint8_t tag = 1; tag <= 20; ++tag)
        trace.exchanges.push_back(Recorded(tag, 1000 * tag, tag == 2 ? 1000 * tag + 400000 : 0));
    LinkReplay replay(std::move(trace));
    // The tag of the exchange that answered, 0 for silence.
    auto ask = [&](uint8_t tag) {
        const uint8_t request[] = {1, 3, 0x70, tag, 0, 1};
        const nxjbus::Exchange* e = replay.Next(request, sizeof request);
        return e ? e->request[3] : 0;
    };

    EXPECT_EQ(ask(1), 1);
    EXPECT_EQ(ask(2), 2);
    EXPECT_EQ(replay.Divergences(), 0u);
    EXPECT_EQ(ask(5), 5) << "two exchanges the module left out are skipped";
    EXPECT_EQ(replay.Divergences(), 1u);
    EXPECT_EQ(ask(0x7F), 0) << "a request the trace does not have is met with silence";
    EXPECT_EQ(ask(6), 6) << "and the replay goes on where it stood";
    EXPECT_EQ(ask(6 + 18), 0) << "too far ahead to be a skipped poll";
    EXPECT_EQ(replay.Status(), "replay: played 4 of 20 exchanges, 3 divergences; first: skipped 2 recorded "
                               "exchange(s) from #3 to reach 01 03 70 05 00 01");
    EXPECT_EQ(replay.LastDivergence(),
              "exchange #7: the module sent 01 03 70 18 00 01, the trace has 01 03 70 07 00 01");
    for (uint8_t tag = 7; tag <= 20; ++tag)
        ASSERT_EQ(ask(tag), tag);
    EXPECT_TRUE(replay.Finished());
    EXPECT_EQ(ask(1), 0);
    EXPECT_EQ(replay.LastDivergence(), "request 01 03 70 01 00 01 after the end of the trace");
}

} // namespace
} // namespace emu
