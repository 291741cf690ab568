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

namespace orbelune {

// Where each effective setting came from: true when the registry held a value and the agent's
// rules kept it, false when the agent uses its default instead.
struct SettingSources {
    bool cameraIndex = false;
    bool provider = false;
    bool enabled = false;
    bool idleStopMs = false;
    bool producerExe = false;
    bool repoRoot = false;
};

// Compares what the registry held with what the agent's rules made of it, so the tool never
// restates those rules.
SettingSources SourcesOf(const RawSettingValues& raw, const AgentSettings& effective);

// A shared section as the tool found it, opened read-only.
struct SectionFacts {
    std::u16string name;           // the name it was opened by; empty when neither name exists
    std::vector<std::byte> bytes;  // a copy of the mapped bytes; empty when it cannot be mapped
                                   // at the block's size, which the agent treats as missing
};

// A section whose text some describer gives. `describe` is null when this build has no
// describer for it; the section is then only reported as present or absent.
struct BlockFacts {
    const char* title = "";    // "capabilities block"
    const char* jsonKey = "";  // "capabilitiesBlock"
    SectionFacts section;
    std::string (*describe)(std::span<const std::byte>) = nullptr;
};

struct StatusFacts {
    RawSettingValues raw;
    AgentSettings settings;
    bool agentRunning = false;
    std::u16string producerImage;              // the file name the producer runs under
    std::vector<std::uint32_t> producerIds;    // processes running under that name
    std::optional<std::u16string> logonEntry;  // the Run value's data, when installed
    std::uint64_t now = 0;                     // GetTickCount64 when the blocks were read
    SectionFacts control;
    std::vector<BlockFacts> blocks;
    std::u16string logPath;
    std::optional<std::string> logBytes;  // the whole log; nothing when it cannot be read
};

inline constexpr size_t kStatusLogLines = 10;

// The last `count` lines of single-byte text whose lines end in CR LF (or a bare LF), without
// their line ends; a last line without an end counts too.
std::vector<std::string> LastLines(std::string_view text, size_t count);

// The file-name part of a path: what follows its last '\' or '/'.
std::u16string_view FileNameOfPath(std::u16string_view path);

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

std::string StatusText(const StatusFacts& facts);
std::string StatusJson(const StatusFacts& facts);

}  // namespace orbelune
