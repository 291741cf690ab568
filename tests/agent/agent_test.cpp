#include <gtest/gtest.h>

#include <array>
#include <cstddef>

#include "agent/producer.h"
#include "agent/supervision.h"
#include "common/system_error.h"
#include "common/text.h"
#include "tests/support/bytes.h"

namespace orbelune {

namespace {

TEST(ProducerTest, CommandLineAndTexts) {
    EXPECT_EQ(QuoteArgument(u""), u"\"\"");
    EXPECT_EQ(QuoteArgument(u"\\\\server\\\" x"), u"\"\\\\server\\\\\" x\"");
    // Only trailing CR, LF and spaces go; a message of nothing else leaves the code alone.
    EXPECT_EQ(SystemErrorText(5, u"Access is denied. \r\n \n"), u"5 (Access is denied.)");
    EXPECT_EQ(SystemErrorText(4294967295u, u" \r\n"), u"4294967295");
    EXPECT_EQ(SystemErrorText(193, u" %1 kept\t"), u"193 ( %1 kept\t)");
}

// The peer's side of a control block as the pass reads it at `now`: demand while the later of
// the demand and consumer-start ticks is fresh, a consumer while the heartbeat is. The peer
// stamps now + 1 into every tick right after the clock is read, as it may at any moment: a tick
// loaded after the clock would lie in its future and count as stale.
TEST(SupervisionTest, PeerSignalsFromTicksLoadedBeforeTheClock) {
    const struct {
        std::uint32_t version;
        std::uint64_t now, demandTick, startTick, heartbeatTick, referenceTick;
        std::string_view seen;  // d demand, c consumer present
    } kCases[] = {
        {2, 2000, 0, 0, 0, 0, "--"},            // 0 means never
        {2, 10000, 0, 7500, 7500, 7500, "dc"},  // 2500 ms old
        {2, 10000, 7499, 0, 7499, 0, "--"},     // 2501 ms old
        {2, 10000, 10001, 0, 10001, 0, "--"},   // in the future
        {2, 10000, 5000, 9000, 0, 9000, "d-"},
        // The later of the two lies in the future: no demand though the other is fresh.
        {2, 10000, 9000, 10001, 9000, 10001, "-c"},
        {1, 10000, 9000, 9000, 9000, 0, "--"},  // another release's block counts as none
    };
    for (const auto& c : kCases) {
        alignas(8) std::array<std::byte, 80> block{};
        StoreU32(block, 0, 0x4F425643);
        StoreU32(block, 4, c.version);
        StoreU64(block, 16, c.demandTick);
        StoreU64(block, 24, c.startTick);
        StoreU64(block, 48, c.heartbeatTick);
        const PeerSignals seen = ReadPeerSignals(block.data(), block.size(), [&] {
            for (const std::size_t offset : {16, 24, 48}) {
                StoreU64(block, offset, c.now + 1);
            }
            return c.now;
        });
        EXPECT_EQ(seen.demand, c.seen[0] == 'd') << "row " << &c - kCases;
        EXPECT_EQ(seen.consumerActive, c.seen[1] == 'c') << "row " << &c - kCases;
        EXPECT_EQ(seen.referenceTick, c.referenceTick) << "row " << &c - kCases;
    }
}

TEST(SupervisionTest, OnePassDecides) {
    const PassStep stop = {PassStep::Kind::kStopProducer, u""};
    const PassStep start = {PassStep::Kind::kStartProducer, u""};
    const PassStep exited = {PassStep::Kind::kLog, u"producer exited unexpectedly"};
    const PassStep disabled = {PassStep::Kind::kLog, u"disabled via config; stopping producer"};
    const PassStep demand = {PassStep::Kind::kLog, u"demand detected; starting producer"};
    const PassStep idle = {PassStep::Kind::kLog, u"idle; waiting for a consumer to open Orbelune"};
    const PassStep idleStop = {PassStep::Kind::kLog, u"no demand for 5000 ms; stopping producer"};
    // The facts of a pass: d demand, r running, x the producer found exited, e enabled.
    const struct {
        LoopState before;
        std::string_view facts;
        std::uint64_t passStart;
        std::vector<PassStep> steps;
        LoopState after;
    } kCases[] = {
        {{100, false}, "dr--", 900, {disabled, stop}, {900, false}},
        {{9, false}, "-r-e", 5010, {idleStop, stop}, {9, false}},
        {{9, false}, "-r-e", 5009, {}, {9, false}},  // strictly longer than IdleStopMs
        {{0, false}, "---e", 900, {idle}, {0, true}},
        {{100, true}, "drxe", 900, {exited, stop, demand, start}, {900, false}},
        {{100, true}, "--xe", 900, {}, {100, true}},  // nothing ran that could exit
    };
    for (const auto& c : kCases) {
        LoopState state = c.before;
        const PassFacts facts = {c.facts[0] == 'd', c.facts[1] == 'r', c.facts[2] == 'x',
                                 c.facts[3] == 'e', c.passStart,       5000};
        EXPECT_EQ(PlanProducerSteps(state, facts), c.steps) << "row " << &c - kCases;
        EXPECT_EQ(state.lastDemandTick, c.after.lastDemandTick) << "row " << &c - kCases;
        EXPECT_EQ(state.idleReported, c.after.idleReported) << "row " << &c - kCases;
    }
}

}  // namespace
}  // namespace orbelune
