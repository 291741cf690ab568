#include "tools/describe_control.h"

#include <cinttypes>
#include <cstdio>

#include "agent/control_block.h"
#include "agent/supervision.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

std::string TickText(std::uint64_t tick, std::uint64_t now) {
    char text[96];
    if (tick == 0) {
        std::snprintf(text, sizeof text, "0 (never)");
    } else if (tick > now) {
        std::snprintf(text, sizeof text, "%" PRIu64 " (%" PRIu64 " ms in the future, stale)", tick,
                      tick - now);
    } else {
        std::snprintf(text, sizeof text, "%" PRIu64 " (%" PRIu64 " ms old, %s)", tick, now - tick,
                      IsFresh(tick, now) ? "fresh" : "stale");
    }
    return text;
}

}  // namespace

std::string DescribeControlBlock(std::span<std::byte> block, std::uint64_t now) {
    if (block.size() < kControlBlockSize) {
        return "control block: not mapped\n";
    }
    const std::uint32_t magic = LoadU32(block, kControlMagicOffset);
    const std::uint32_t version = LoadU32(block, kControlVersionOffset);
    const bool valid = ControlBlockValid(block);
    char header[160];
    std::snprintf(header, sizeof header,
                  "control block: magic=0x%08" PRIX32 " version=%" PRIu32 " %s\n", magic, version,
                  valid                    ? "(valid)"
                  : magic != kControlMagic ? "(invalid: wrong magic, counts as missing)"
                                           : "(invalid: wrong version, counts as missing)");
    const std::uint64_t demandTick = LoadControlTick(block, kControlDemandTickOffset);
    const std::uint64_t startTick = LoadControlTick(block, kControlConsumerStartTickOffset);
    const std::uint64_t heartbeat = LoadControlTick(block, kControlConsumerHeartbeatTickOffset);
    std::string text = header;
    text += "  cameraIndex=" + std::to_string(LoadU32(block, kControlCameraIndexOffset)) + "\n";
    text += "  demandTick=" + TickText(demandTick, now) + "\n";
    text += "  consumerStartTick=" + TickText(startTick, now) + "\n";
    text += "  consumerHeartbeatTick=" + TickText(heartbeat, now) + "\n";
    text += std::string("  demand=") +
            (valid && IsDemand(demandTick, startTick, now) ? "yes" : "no") +
            " consumer present=" + (valid && IsFresh(heartbeat, now) ? "yes" : "no") + "\n";
    return text;
}

}  // namespace orbelune
