#include "tools/describe_control.h"

#include <cinttypes>
#include <cstdio>

#include "agent/supervision.h"

namespace orbelune {
namespace {

TickReading JudgeTick(std::uint64_t value, std::uint64_t now) {
    TickReading tick;
    tick.value = value;
    tick.ageMs = static_cast<std::int64_t>(now - tick.value);
    tick.fresh = IsFresh(tick.value, now);
    return tick;
}

std::string TickText(const TickReading& tick) {
    char text[96];
    if (tick.value == 0) {
        std::snprintf(text, sizeof text, "0 (never)");
    } else if (tick.ageMs < 0) {
        std::snprintf(text, sizeof text, "%" PRIu64 " (%" PRId64 " ms in the future, stale)",
                      tick.value, -tick.ageMs);
    } else {
        std::snprintf(text, sizeof text, "%" PRIu64 " (%" PRId64 " ms old, %s)", tick.value,
                      tick.ageMs, tick.fresh ? "fresh" : "stale");
    }
    return text;
}

}  // namespace

ControlStatus JudgeControlBlock(const vcam::ControlReading& block, std::uint64_t now) {
    ControlStatus status;
    status.demandTick = JudgeTick(block.demandTick, now);
    status.consumerStartTick = JudgeTick(block.consumerStartTick, now);
    status.consumerHeartbeatTick = JudgeTick(block.consumerHeartbeatTick, now);
    status.demand = block.valid && IsDemand(block.demandTick, block.consumerStartTick, now);
    status.consumerPresent = block.valid && status.consumerHeartbeatTick.fresh;
    return status;
}

std::string DescribeControlBlock(const vcam::ControlReading& block, std::uint64_t now) {
    const ControlStatus status = JudgeControlBlock(block, now);
    char header[160];
    std::snprintf(
        header, sizeof header, "control block: magic=0x%08" PRIX32 " version=%" PRIu32 " %s\n",
        block.magic, block.version,
        block.valid                          ? "(valid)"
        : block.magic != vcam::kControlMagic ? "(invalid: wrong magic, counts as missing)"
                                             : "(invalid: wrong version, counts as missing)");
    std::string text = header;
    text += "  cameraIndex=" + std::to_string(block.cameraIndex) + "\n";
    text += "  demandTick=" + TickText(status.demandTick) + "\n";
    text += "  consumerStartTick=" + TickText(status.consumerStartTick) + "\n";
    text += "  consumerHeartbeatTick=" + TickText(status.consumerHeartbeatTick) + "\n";
    text += std::string("  demand=") + (status.demand ? "yes" : "no") +
            " consumer present=" + (status.consumerPresent ? "yes" : "no") + "\n";
    return text;
}

}  // namespace orbelune
