#include "agent/supervision.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

using Kind = PassStep::Kind;

TEST(SupervisionTest, Freshness) {
    static const struct {
        std::uint64_t tick, now;
        bool fresh;
    } kCases[] = {
        {0, 0, false},                                // 0 means never
        {0, 2000, false},      {10000, 10000, true},  // this very moment
        {10000, 12500, true},                         // exactly 2500 ms old
        {10000, 12501, false},                        // 2501 ms old
        {10001, 10000, false},                        // in the future
        {~0ULL, 5, false},     {1, 2501, true},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsFresh(c.tick, c.now), c.fresh) << c.tick << " at " << c.now;
    }
}

TEST(SupervisionTest, DemandTakesTheLaterTick) {
    static const struct {
        std::uint64_t demandTick, startTick, now;
        bool demand;
    } kCases[] = {
        {9000, 0, 10000, true},
        {0, 9000, 10000, true},
        {0, 0, 10000, false},
        {5000, 9000, 10000, true},
        {9000, 5000, 10000, true},
        // The later of the two lies in the future: no demand though the other is fresh.
        {9000, 10001, 10000, false},
        {10001, 9000, 10000, false},
        // Compared unsigned: the all-ones tick is the later one.
        {9000, ~0ULL, 10000, false},
        {5000, 7000, 10000, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsDemand(c.demandTick, c.startTick, c.now), c.demand)
            << c.demandTick << " " << c.startTick;
    }
}

PassStep Log(std::u16string_view line) {
    return {Kind::kLog, std::u16string(line)};
}
const PassStep kStop{Kind::kStopProducer, {}};
const PassStep kStart{Kind::kStartProducer, {}};

TEST(SupervisionTest, DecisionTable) {
    static const struct {
        const char* row;
        LoopState state;
        PassFacts facts;
        std::vector<PassStep> steps;
        LoopState after;
    } kCases[] = {
        {"disabled-stop",
         {100, false},
         {.demand = true, .running = true, .enabled = false, .passStart = 900, .idleStopMs = 0},
         {Log(kDisabledStopLine), kStop},
         {900, false}},
        {"disabled-wait: no idle line either",
         {100, false},
         {.demand = false, .running = false, .enabled = false, .passStart = 900, .idleStopMs = 0},
         {},
         {100, false}},
        {"disabled with demand keeps recording it",
         {100, true},
         {.demand = true, .running = false, .enabled = false, .passStart = 900},
         {},
         {900, true}},
        {"start",
         {100, true},
         {.demand = true, .running = false, .passStart = 900, .idleStopMs = 8000},
         {Log(kDemandLine), kStart},
         {900, false}},
        {"keep while demand lasts",
         {100, false},
         {.demand = true, .running = true, .passStart = 900, .idleStopMs = 8000},
         {},
         {900, false}},
        {"idle-stop when strictly greater",
         {1000, false},
         {.demand = false, .running = true, .passStart = 9001, .idleStopMs = 8000},
         {Log(u"no demand for 8000 ms; stopping producer"), kStop},
         {1000, false}},
        {"equal keeps the producer",
         {1000, false},
         {.demand = false, .running = true, .passStart = 9000, .idleStopMs = 8000},
         {},
         {1000, false}},
        {"idle time 0 stops at the first pass without demand",
         {1000, false},
         {.demand = false, .running = true, .passStart = 1500, .idleStopMs = 0},
         {Log(u"no demand for 0 ms; stopping producer"), kStop},
         {1000, false}},
        {"idle time as configured, not as elapsed",
         {0, false},
         {.demand = false, .running = true, .passStart = ~0ULL, .idleStopMs = 4294967295ULL},
         {Log(u"no demand for 4294967295 ms; stopping producer"), kStop},
         {0, false}},
        {"idle-report",
         {0, false},
         {.demand = false, .running = false, .passStart = 900, .idleStopMs = 8000},
         {Log(kIdleLine)},
         {0, true}},
        {"idle already reported",
         {0, true},
         {.demand = false, .running = false, .passStart = 900, .idleStopMs = 8000},
         {},
         {0, true}},
        {"found dead with demand: exit, stop, demand, start",
         {100, true},
         {.demand = true, .running = true, .producerExited = true, .passStart = 900},
         {Log(kProducerExitedLine), kStop, Log(kDemandLine), kStart},
         {900, false}},
        {"found dead while disabled: only the exit line",
         {100, true},
         {.demand = true,
          .running = true,
          .producerExited = true,
          .enabled = false,
          .passStart = 900},
         {Log(kProducerExitedLine), kStop},
         {900, true}},
        {"found dead without demand: idle line",
         {100, false},
         {.demand = false,
          .running = true,
          .producerExited = true,
          .passStart = 900,
          .idleStopMs = 8000},
         {Log(kProducerExitedLine), kStop, Log(kIdleLine)},
         {100, true}},
        {"exit flag without a running producer is no exit",
         {100, true},
         {.demand = false, .running = false, .producerExited = true, .passStart = 900},
         {},
         {100, true}},
    };
    for (const auto& c : kCases) {
        LoopState state = c.state;
        EXPECT_EQ(PlanProducerSteps(state, c.facts), c.steps) << c.row;
        EXPECT_EQ(state.lastDemandTick, c.after.lastDemandTick) << c.row;
        EXPECT_EQ(state.idleReported, c.after.idleReported) << c.row;
    }
}

// Passes of a whole run, 500 ms apart, applying each plan's start and stop the way the loop
// does: the idle line once per idle period, none while disabled, demand restarting.
TEST(SupervisionTest, IdleLineOncePerIdlePeriod) {
    struct Pass {
        bool demand;
        bool enabled;
        bool startSucceeds;
    };
    const Pass kRun[] = {
        {false, true, true},  {false, true, true}, {true, true, false},  // start fails
        {false, true, true},  {false, true, true}, {true, true, true},   // start succeeds
        {true, true, true},   {false, true, true}, {false, true, true},  // idle-stop at 0 ms
        {false, false, true}, {true, false, true}, {false, false, true}, {false, true, true},
    };
    LoopState state;
    bool running = false;
    std::vector<std::u16string> lines;
    std::uint64_t now = 10000;
    for (const Pass& pass : kRun) {
        for (const PassStep& step : PlanProducerSteps(state, {.demand = pass.demand,
                                                             .running = running,
                                                             .enabled = pass.enabled,
                                                             .passStart = now,
                                                             .idleStopMs = 0})) {
            if (step.kind == Kind::kLog) {
                lines.push_back(step.line);
            } else {
                running = step.kind == Kind::kStartProducer && pass.startSucceeds;
            }
        }
        now += 500;
    }
    const std::vector<std::u16string> expected = {
        kIdleLine, kDemandLine, kIdleLine, kDemandLine, u"no demand for 0 ms; stopping producer",
        kIdleLine};
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace orbelune
