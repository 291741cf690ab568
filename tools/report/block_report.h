// The three shared blocks as the tools show them: each as text for people and as JSON for
// scripts, side by side, with what the agent would make of the control block's ticks. The
// control tool's status and the peer simulator print them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/report/block_reading.h"
#include "tools/report/json_writer.h"

namespace orbelune {

// A shared section as a tool found it, opened read-only.
struct SectionFacts {
    std::u16string name;           // the name it was opened by; empty when neither name exists
    std::vector<std::byte> bytes;  // a copy of the mapped bytes; empty when it cannot be mapped
                                   // at the block's size, which the agent treats as missing
};

// A published block as a tool found it: the section's name (empty when neither name exists)
// and its fields, or nothing when it cannot be mapped at the block's size. The agent writes
// the capabilities block's whole header at every publication, so one that is not valid has not
// been published into yet; it never writes a consumers block whose magic or version differ, so
// such a block shows only what the virtual camera left in it.
template <typename Reading>
struct PublishedBlockFacts {
    std::u16string name;
    std::optional<Reading> reading;
};

// A wall-clock moment in local time, converted by the Windows edge with the time zone's rules
// for that date, so that the report itself never reads the clock or the zone.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    int utcOffsetMinutes = 0;  // local minus UTC
};

// One peer tick as the agent would judge it at `now`.
struct TickReading {
    std::uint64_t value = 0;
    std::int64_t ageMs = 0;  // now - value; negative for a tick in the future
    bool fresh = false;
};

// What the agent would decide from the block's fields at `now`. Demand and consumer presence
// hold only while the block is valid, as in the agent.
struct ControlStatus {
    TickReading demandTick, consumerStartTick, consumerHeartbeatTick;
    bool demand = false;
    bool consumerPresent = false;
};

ControlStatus JudgeControlBlock(const vcam::ControlReading& block, std::uint64_t now);

// The block's header, the camera index and each tick with its age at `now` and whether it
// counts as fresh, then demand and consumer presence as the agent would decide them.
std::string DescribeControlBlock(const vcam::ControlReading& block, std::uint64_t now);

// The control section as found: its name, or why the agent counts it as missing, then the
// block as DescribeControlBlock gives it.
std::string ControlText(const SectionFacts& control, std::uint64_t now);
void WriteControlJson(JsonWriter& json, const SectionFacts& control, std::uint64_t now);

std::string CapabilitiesText(const PublishedBlockFacts<vcam::CapabilitiesReading>& block);
void WriteCapabilitiesJson(JsonWriter& json,
                           const PublishedBlockFacts<vcam::CapabilitiesReading>& block);

// With each slot's local start time, when the edge found one; `now` is the tick the block's
// age is reckoned from.
std::string ConsumersText(const PublishedBlockFacts<vcam::ConsumersReading>& block,
                          const std::vector<std::optional<LocalTime>>& startsLocal,
                          std::uint64_t now);
void WriteConsumersJson(JsonWriter& json, const PublishedBlockFacts<vcam::ConsumersReading>& block,
                        const std::vector<std::optional<LocalTime>>& startsLocal,
                        std::uint64_t now);

}  // namespace orbelune
