#include "tools/describe_control.h"

#include <cinttypes>
#include <cstdio>

#include "agent/control_block.h"
#include "agent/supervision.h"
#include "common/bytes.h"

namespace orbelune {
namespace {

TickReading ReadTick(std::span<std::byte> block, size_t offset, std::uint64_t now) {
    TickReading tick;
    tick.value = LoadControlTick(block, offset);
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

ControlReading ReadControlBlock(std::span<std::byte> block, std::uint64_t now) {
    ControlReading reading;
    reading.magic = LoadU32(block, kControlMagicOffset);
    reading.version = LoadU32(block, kControlVersionOffset);
    reading.valid = ControlBlockValid(block);
    reading.cameraIndex = LoadU32(block, kControlCameraIndexOffset);
    reading.demandTick = ReadTick(block, kControlDemandTickOffset, now);
    reading.consumerStartTick = ReadTick(block, kControlConsumerStartTickOffset, now);
    reading.consumerHeartbeatTick = ReadTick(block, kControlConsumerHeartbeatTickOffset, now);
    reading.demand =
        reading.valid && IsDemand(reading.demandTick.value, reading.consumerStartTick.value, now);
    reading.consumerPresent = reading.valid && reading.consumerHeartbeatTick.fresh;
    return reading;
}

std::string DescribeControlBlock(std::span<std::byte> block, std::uint64_t now) {
    if (block.size() < kControlBlockSize) {
        return "control block: not mapped\n";
    }
    const ControlReading reading = ReadControlBlock(block, now);
    char header[160];
    std::snprintf(header, sizeof header,
                  "control block: magic=0x%08" PRIX32 " version=%" PRIu32 " %s\n", reading.magic,
                  reading.version,
                  reading.valid                    ? "(valid)"
                  : reading.magic != kControlMagic ? "(invalid: wrong magic, counts as missing)"
                                                   : "(invalid: wrong version, counts as missing)");
    std::string text = header;
    text += "  cameraIndex=" + std::to_string(reading.cameraIndex) + "\n";
    text += "  demandTick=" + TickText(reading.demandTick) + "\n";
    text += "  consumerStartTick=" + TickText(reading.consumerStartTick) + "\n";
    text += "  consumerHeartbeatTick=" + TickText(reading.consumerHeartbeatTick) + "\n";
    text += std::string("  demand=") + (reading.demand ? "yes" : "no") +
            " consumer present=" + (reading.consumerPresent ? "yes" : "no") + "\n";
    return text;
}

}  // namespace orbelune
