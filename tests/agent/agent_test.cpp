#include <gtest/gtest.h>

#include "agent/producer.h"
#include "agent/supervision.h"
#include "common/system_error.h"

namespace orbelune {
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

// The steps of a pass in short: STOP, START, and each line, the loop's fixed ones by a word.
std::string Steps(const std::vector<PassStep>& steps) {
    std::string text;
    for (const PassStep& step : steps) {
        const std::string whole(step.line.begin(), step.line.end());
        text += text.empty() ? "" : ", ";
        text += step.kind == PassStep::Kind::kStopProducer                      ? "STOP"
                : step.kind == PassStep::Kind::kStartProducer                   ? "START"
                : step.line == u"producer exited unexpectedly"                  ? "exited"
                : step.line == u"disabled via config; stopping producer"        ? "disabled"
                : step.line == u"demand detected; starting producer"            ? "demand"
                : step.line == u"idle; waiting for a consumer to open Orbelune" ? "idle"
                                                                                : whole;
    }
    return text;
}

TEST(SupervisionTest, OnePassDecides) {
    // The facts of a pass: d demand, r running, x the producer found exited, e enabled.
    static const struct {
        LoopState before;
        std::string_view facts;
        std::uint64_t passStart;
        const char* steps;
        LoopState after;
    } kCases[] = {
        {{100, false}, "dr--", 900, "disabled, STOP", {900, false}},
        {{100, false}, "----", 900, "", {100, false}},  // no idle line while disabled
        {{100, true}, "d--e", 900, "demand, START", {900, false}},
        {{100, false}, "dr-e", 900, "", {900, false}},
        {{9, false}, "-r-e", 5010, "no demand for 5000 ms; stopping producer, STOP", {9, false}},
        {{9, false}, "-r-e", 5009, "", {9, false}},  // strictly longer than IdleStopMs
        {{0, false}, "---e", 900, "idle", {0, true}},
        {{0, true}, "---e", 900, "", {0, true}},
        {{100, true}, "drxe", 900, "exited, STOP, demand, START", {900, false}},
        {{100, true}, "drx-", 900, "exited, STOP", {900, true}},
        {{100, false}, "-rxe", 900, "exited, STOP, idle", {100, true}},
        {{100, true}, "--xe", 900, "", {100, true}},  // nothing ran that could exit
    };
    for (const auto& c : kCases) {
        LoopState state = c.before;
        const PassFacts facts = {c.facts[0] == 'd', c.facts[1] == 'r', c.facts[2] == 'x',
                                 c.facts[3] == 'e', c.passStart,       5000};
        EXPECT_EQ(Steps(PlanProducerSteps(state, facts)), c.steps) << "row " << &c - kCases;
        EXPECT_EQ(state.lastDemandTick, c.after.lastDemandTick) << "row " << &c - kCases;
        EXPECT_EQ(state.idleReported, c.after.idleReported) << "row " << &c - kCases;
    }
}

}  // namespace
}  // namespace orbelune
