// What the control tool's `status` shows, gathered by the Windows edge and rendered here as
// text for people and as one JSON object for scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capabilities/capabilities.h"
#include "config/settings.h"
#include "tools/report/block_report.h"

namespace orbelune {

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
    std::optional<std::string> logBytes;   // the whole log; nothing when it cannot be read
    std::optional<CameraListing> cameras;  // nothing when not looked at
};

inline constexpr size_t kStatusLogLines = 10;

// A setting's effective value as text, as the agent's rules make it: numbers in decimal, a
// switch as 1 or 0, texts as they are.
std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective);

std::string StatusText(const StatusFacts& facts);
std::string StatusJson(const StatusFacts& facts);

}  // namespace orbelune
