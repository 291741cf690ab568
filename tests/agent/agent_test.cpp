#include <gtest/gtest.h>

#include <ostream>

#include "agent/producer.h"
#include "agent/supervision.h"
#include "common/system_error.h"
#include "common/text.h"

namespace orbelune {

// A step as its log line, or "stop" or "start"; found by GoogleTest beside PassStep.
void PrintTo(const PassStep& step, std::ostream* out) {
    *out << (step.kind == PassStep::Kind::kStopProducer    ? "stop"
             : step.kind == PassStep::Kind::kStartProducer ? "start"
                                                           : ToUtf8(step.line));
}

namespace {

TEST(ProducerTest, CommandLineAndTexts) {
    EXPECT_EQ(QuoteArgument(u""), u"\"\"");
    EXPECT_EQ(QuoteArgument(u"C:\\Agent\\"), u"\"C:\\Agent\\\"");  // not doubled before the quote
    EXPECT_EQ(QuoteArgument(u"\\\\server\\\" x"), u"\"\\\\server\\\\\" x\"");
    EXPECT_EQ(BuildProducerCommandLine(ProducerArguments(u"C:\\p.exe", u"directml", -1, u"C:\\")),
              u"\"C:\\p.exe\" \"--camera\" \"--no-mirror\" \"--provider\" \"directml\" "
              u"\"--camera-index\" \"-1\" \"--repo-root\" \"C:\\\"");
    // Only trailing CR, LF and spaces go; a message of nothing else leaves the code alone.
    EXPECT_EQ(SystemErrorText(5, u"Access is denied. \r\n \n"), u"5 (Access is denied.)");
    EXPECT_EQ(SystemErrorText(4294967295u, u" \r\n"), u"4294967295");
    EXPECT_EQ(SystemErrorText(193, u" %1 kept\t"), u"193 ( %1 kept\t)");
}

TEST(SupervisionTest, DemandFromTheLaterTickWhileFresh) {
    EXPECT_FALSE(IsDemand(0, 0, 2000));       // 0 means never
    EXPECT_TRUE(IsDemand(0, 7500, 10000));    // 2500 ms old
    EXPECT_FALSE(IsDemand(7499, 0, 10000));   // 2501 ms old
    EXPECT_FALSE(IsDemand(10001, 0, 10000));  // in the future
    EXPECT_TRUE(IsDemand(5000, 9000, 10000));
    EXPECT_TRUE(IsDemand(9000, 5000, 10000));
    // The later of the two lies in the future: no demand though the other is fresh.
    EXPECT_FALSE(IsDemand(9000, 10001, 10000));
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
        {{100, false}, "----", 900, {}, {100, false}},  // no idle line while disabled
        {{100, true}, "d--e", 900, {demand, start}, {900, false}},
        {{100, false}, "dr-e", 900, {}, {900, false}},
        {{9, false}, "-r-e", 5010, {idleStop, stop}, {9, false}},
        {{9, false}, "-r-e", 5009, {}, {9, false}},  // strictly longer than IdleStopMs
        {{0, false}, "---e", 900, {idle}, {0, true}},
        {{0, true}, "---e", 900, {}, {0, true}},
        {{100, true}, "drxe", 900, {exited, stop, demand, start}, {900, false}},
        {{100, true}, "drx-", 900, {exited, stop}, {900, true}},
        {{100, false}, "-rxe", 900, {exited, stop, idle}, {100, true}},
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
