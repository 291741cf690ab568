// What the control tool's `status` shows, gathered by the Windows edge and rendered here as
// text for people and as one JSON object for scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "orbelune/vcam_contract.h"

namespace orbelune {

// A shared section as the tool found it, opened read-only.
struct SectionFacts {
    std::u16string name;           // the name it was opened by; empty when neither name exists
    std::vector<std::byte> bytes;  // a copy of the mapped bytes; empty when it cannot be mapped
                                   // at the block's size, which the agent treats as missing
};

// A wall-clock moment in local time, converted by the Windows edge with the time zone's rules
// for that date, so that the report itself never reads the clock or the zone.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    int utcOffsetMinutes = 0;  // local minus UTC
};

// A published block as the tool found it: the section's name (empty when neither name exists)
// and its fields, or nothing when it cannot be mapped at the block's size. The agent writes
// the capabilities block's whole header at every publication, so one that is not valid has not
// been published into yet; it never writes a consumers block whose magic or version differ, so
// such a block shows only what the virtual camera left in it.
template <typename Reading>
struct PublishedBlockFacts {
    std::u16string name;
    std::optional<Reading> reading;
};

struct StatusFacts {
    RawSettingValues raw;
    std::u16string moduleFolder;  // where the agent's defaults put the producer and the root
    bool agentRunning = false;
    std::u16string producerImage;                     // the file name the producer runs under
    std::vector<std::uint32_t> producerIds;           // processes running under that name
    std::optional<std::u16string> logonEntry;         // the Run value's data, when installed
    std::optional<std::u16string> machineLogonEntry;  // the same for all users (the MSI's)
    std::uint64_t now = 0;  // GetTickCount64 right after the blocks were copied, so that no tick
                            // in them is later
    SectionFacts control;
    PublishedBlockFacts<vcam::CapabilitiesReading> capabilities;
    PublishedBlockFacts<vcam::ConsumersReading> consumers;
    // Each consumer slot's start in local time, filled in by the edge; nothing when unknown.
    std::vector<std::optional<LocalTime>> consumerStartsLocal;
    std::u16string logPath;
    std::optional<std::string> logBytes;  // the whole log; nothing when it cannot be read
};

inline constexpr size_t kStatusLogLines = 10;

// The text of one published block as found, with each slot's local start time when the edge
// filled it in; `now` is the tick the consumers block's age is reckoned from.
std::string CapabilitiesText(const PublishedBlockFacts<vcam::CapabilitiesReading>& block);
std::string ConsumersText(const PublishedBlockFacts<vcam::ConsumersReading>& block,
                          const std::vector<std::optional<LocalTime>>& startsLocal,
                          std::uint64_t now);

std::string StatusText(const StatusFacts& facts);
std::string StatusJson(const StatusFacts& facts);

}  // namespace orbelune
