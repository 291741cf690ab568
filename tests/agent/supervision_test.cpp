#include "agent/supervision.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orbelune {
namespace {

TEST(SupervisionTest, DemandFromTheLaterTickWhileFresh) {
    static const struct {
        std::uint64_t demandTick, startTick, now;
        bool demand;
    } kCases[] = {
        {0, 0, 10000, false},  // 0 means never
        {10000, 0, 10000, true},
        {0, 7500, 10000, true},    // 2500 ms old
        {7499, 0, 10000, false},   // 2501 ms old
        {0, 7499, 10000, false},   // 2501 ms old
        {10001, 0, 10000, false},  // in the future
        {1, 0, 2501, true},
        {5000, 9000, 10000, true},
        {9000, 5000, 10000, true},
        // The later of the two lies in the future: no demand though the other is fresh.
        {9000, 10001, 10000, false},
        {10001, 9000, 10000, false},
        {9000, ~0ULL, 10000, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsDemand(c.demandTick, c.startTick, c.now), c.demand)
            << c.demandTick << " " << c.startTick << " at " << c.now;
    }
}

// The steps of a pass in short: each of the loop's fixed lines by a word, other lines whole,
// STOP and START.
std::string Steps(const std::vector<PassStep>& steps) {
    static const std::pair<std::u16string_view, const char*> kWords[] = {
        {kProducerExitedLine, "exited"},
        {kDisabledStopLine, "disabled"},
        {kDemandLine, "demand"},
        {kIdleLine, "idle"},
    };
    std::string text;
    for (const PassStep& step : steps) {
        text += text.empty() ? "" : ", ";
        if (step.kind != PassStep::Kind::kLog) {
            text += step.kind == PassStep::Kind::kStopProducer ? "STOP" : "START";
            continue;
        }
        const auto word = std::find_if(std::begin(kWords), std::end(kWords),
                                       [&](const auto& w) { return w.first == step.line; });
        text += word != std::end(kWords) ? word->second
                                         : std::string(step.line.begin(), step.line.end());
    }
    return text;
}

TEST(SupervisionTest, OnePassDecides) {
    // The facts of a pass: d demand, r running, x the producer found exited, e enabled.
    static const struct {
        LoopState before;
        std::string_view facts;
        std::uint64_t passStart, idleStopMs;
        const char* steps;
        LoopState after;
    } kCases[] = {
        // clang-format off
        {{100, false}, "dr--", 900, 0, "disabled, STOP", {900, false}},
        {{100, false}, "----", 900, 0, "", {100, false}},  // no idle line while disabled
        {{100, true}, "d---", 900, 0, "", {900, true}},
        {{100, true}, "d--e", 900, 8000, "demand, START", {900, false}},
        {{100, false}, "dr-e", 900, 8000, "", {900, false}},
        {{1000, false}, "-r-e", 9001, 8000, "no demand for 8000 ms; stopping producer, STOP",
         {1000, false}},
        {{1000, false}, "-r-e", 9000, 8000, "", {1000, false}},  // strictly greater
        {{1000, true}, "-r-e", 1000, 0, "", {1000, true}},
        {{1000, false}, "-r-e", 1001, 0, "no demand for 0 ms; stopping producer, STOP",
         {1000, false}},
        {{0, false}, "-r-e", ~0ULL, 4294967295,
         "no demand for 4294967295 ms; stopping producer, STOP", {0, false}},
        {{0, false}, "---e", 900, 8000, "idle", {0, true}},
        {{0, true}, "---e", 900, 8000, "", {0, true}},
        {{100, true}, "drxe", 900, 0, "exited, STOP, demand, START", {900, false}},
        {{100, true}, "drx-", 900, 0, "exited, STOP", {900, true}},
        {{100, false}, "-rxe", 900, 8000, "exited, STOP, idle", {100, true}},
        {{100, true}, "--xe", 900, 0, "", {100, true}},  // nothing ran that could exit
        // clang-format on
    };
    for (const auto& c : kCases) {
        LoopState state = c.before;
        const PassFacts facts = {c.facts[0] == 'd', c.facts[1] == 'r', c.facts[2] == 'x',
                                 c.facts[3] == 'e', c.passStart,       c.idleStopMs};
        const std::string steps = Steps(PlanProducerSteps(state, facts));
        EXPECT_EQ(steps, c.steps) << "row " << &c - kCases;
        EXPECT_EQ(state.lastDemandTick, c.after.lastDemandTick) << "row " << &c - kCases;
        EXPECT_EQ(state.idleReported, c.after.idleReported) << "row " << &c - kCases;
    }
}

}  // namespace
}  // namespace orbelune
