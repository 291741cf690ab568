// The peer simulator's command line: which sections to create, how to stamp them, for how long.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "orbelune/vcam_blocks.h"

namespace orbelune {

// Times are seconds from the start; a negative one is not given.
struct PeerOptions {
    bool local = true, global = false;
    std::uint32_t controlSize = vcam::kControlBlockSize;
    std::uint32_t capabilitiesSize = vcam::kCapabilitiesBlockSize;
    std::uint32_t consumersSize = vcam::kConsumersBlockSize;
    std::uint32_t controlMagic = vcam::kControlMagic;
    std::uint32_t controlVersion = vcam::kControlVersion;
    std::uint32_t consumersMagic = vcam::kConsumersMagic;
    std::uint32_t consumersVersion = vcam::kConsumersVersion;
    double fixAfter = -1;         // then stamp the right magics and versions
    double demand = 0;            // keep demandTick fresh this long
    double consumerStart = 0;     // keep consumerStartTick fresh this long
    double consumerStartAt = -1;  // stamp consumerStartTick once, this long after the start
    double heartbeat = 0;         // keep consumerHeartbeatTick fresh this long
    double runFor = -1;           // exit after this long
    double printEvery = 1;        // print the blocks this often; 0 never
};

// The options, or --help, or what is wrong with the arguments (a usage error).
struct ParsedPeerOptions {
    std::optional<PeerOptions> options;
    bool help = false;
    std::u16string error;
};

// `arguments` without the program's own name: each option followed by its value.
ParsedPeerOptions ParsePeerOptions(std::span<const std::u16string> arguments);

// The text of --help.
std::string PeerUsage();

}  // namespace orbelune
