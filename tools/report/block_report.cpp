#include "tools/report/block_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "agent/supervision.h"
#include "common/text.h"
#include "log/log_lines.h"

namespace orbelune {
namespace {

TickReading JudgeTick(std::uint64_t value, std::uint64_t now) {
    // Ages beyond the signed range, as of a tick far in the future, are clamped to it.
    const auto age = static_cast<std::int64_t>(
        std::min<std::uint64_t>(value > now ? value - now : now - value, INT64_MAX));
    return {value, value > now ? -age : age, IsFresh(value, now)};
}

// A tick never stamped (0) has no age.
Node TickNode(const char* name, const TickReading& tick) {
    return Object(name, TickText(name, tick),
                  {Value("value", tick.value),
                   Value("ageMs", tick.value != 0 ? std::optional(tick.ageMs) : std::nullopt),
                   Value("fresh", tick.fresh)});
}

// UTF-8 text in double quotes, with quotes, backslashes and control characters escaped so that
// a name cannot break the line it stands on.
std::string Quoted(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7F ? "\\x" + HexText(byte).substr(8)  // two digits
               : c == '"' || c == '\\'     ? std::string{'\\', c}
                                           : std::string(1, c);
    }
    return out + '"';
}

// A local time as the log's lines carry it, or with 'T' between date and time as ISO 8601 has it.
std::string TimeText(const std::tm& time, const char* format) {
    char text[32] = {};
    std::strftime(text, sizeof text, format, &time);
    return text;
}

// The header words, whether they are this release's, each value beside the one expected.
std::string HeaderText(std::uint32_t magic, std::uint32_t version, std::uint32_t expectedMagic,
                       std::uint32_t expectedVersion) {
    return "magic " + HexText(magic) +
           (magic == expectedMagic ? "" : " (expected " + HexText(expectedMagic) + ")") +
           " version " + std::to_string(version) +
           (version == expectedVersion ? ""
                                       : " (expected " + std::to_string(expectedVersion) + ")");
}

// A published block under `key`; `members`, the snapshot's, only when it was accepted.
template <typename Snapshot>
Node PublishedNode(const char* key, const char* title, const PublishedBlock<Snapshot>& block,
                   std::uint32_t expectedMagic, std::uint32_t expectedVersion,
                   std::vector<Node> members) {
    static const char* const kStatus[][2] = {
        {"accepted", "valid"},
        {"notPublished", "not published by the agent yet"},
        {"retriesExhausted", "changing faster than it can be read"},
        {"rejected", "holding no finished publication (one in progress, or another writer's)"},
        {"sectionTooSmall", "too small for the block"}};
    const auto* status = kStatus[static_cast<int>(block.status)];
    const bool stamped = block.magic == expectedMagic && block.version == expectedVersion;
    std::vector<Node> nodes = {Value("section", block.name), Value("magic", block.magic),
                               Value("version", block.version),
                               Value("snapshot", Latin1ToU16(status[0]))};
    if (block.status == vcam::SnapshotStatus::kAccepted) {
        std::ranges::move(members, std::back_inserter(nodes));
    }
    return Object(
        key,
        std::string(title) + " (" + ToUtf8(block.name) + "): " +
            (stamped || block.status != vcam::SnapshotStatus::kRejected ? status[1] : "not valid") +
            ", " + HeaderText(block.magic, block.version, expectedMagic, expectedVersion),
        std::move(nodes));
}

}  // namespace

std::int64_t LocalSeconds(const std::tm& time) {
    using namespace std::chrono;
    const sys_days date = year{time.tm_year + 1900} / (time.tm_mon + 1) / time.tm_mday;
    return date.time_since_epoch().count() * 86400LL + time.tm_hour * 3600LL + time.tm_min * 60LL +
           time.tm_sec;
}

ControlStatus JudgeControlBlock(const vcam::ControlReading& block, std::uint64_t now) {
    const PeerSignals agent = JudgePeerSignals(block, now);
    return {JudgeTick(block.demandTick, now), JudgeTick(block.consumerStartTick, now),
            JudgeTick(block.consumerHeartbeatTick, now), agent.demand, agent.consumerActive};
}

std::string TickText(const char* name, const TickReading& tick) {
    const char* judged = tick.ageMs < 0 ? " ms in the future, stale)"
                         : tick.fresh   ? " ms old, fresh)"
                                        : " ms old, stale)";
    return std::string(name) + " " + std::to_string(tick.value) +
           (tick.value == 0 ? " (never)" : " (" + std::to_string(std::abs(tick.ageMs)) + judged);
}

Node ControlNode(const std::u16string& name, const vcam::ControlReading& block, std::uint64_t now) {
    const ControlStatus status = JudgeControlBlock(block, now);
    return Object(
        "controlBlock",
        "control block (" + ToUtf8(name) +
            "): " + (block.valid ? "valid, " : "not valid (the agent counts it as missing), ") +
            HeaderText(block.magic, block.version, vcam::kControlMagic, vcam::kControlVersion),
        {Value("section", name), Value("magic", block.magic), Value("version", block.version),
         Value("valid", block.valid), Value("now", now),
         Value("cameraIndex", block.cameraIndex,
               "cameraIndex " + std::to_string(block.cameraIndex)),
         TickNode("demandTick", status.demandTick),
         TickNode("consumerStartTick", status.consumerStartTick),
         TickNode("consumerHeartbeatTick", status.consumerHeartbeatTick),
         Value("demand", status.demand,
               std::string("demand ") + (status.demand ? "yes" : "no") + ", consumer present " +
                   (status.consumerPresent ? "yes" : "no")),
         Value("consumerPresent", status.consumerPresent)});
}

Node CapabilitiesNode(const PublishedBlock<vcam::CapabilitiesSnapshot>& block) {
    const vcam::CapabilitiesSnapshot& s = block.snapshot;
    std::vector<Node> formats;
    for (std::uint32_t i = 0; i < s.count && i < vcam::kMaxCapabilities; ++i) {
        const vcam::CameraCapability& f = s.formats[i];
        char line[64] = {};
        std::snprintf(line, sizeof line, "[%u] %ux%u@%u/%u", i, f.width, f.height,
                      f.frameRateNumerator, f.frameRateDenominator);
        formats.push_back(Object("", line,
                                 {Value("width", f.width), Value("height", f.height),
                                  Value("frameRateNumerator", f.frameRateNumerator),
                                  Value("frameRateDenominator", f.frameRateDenominator)}));
    }
    return PublishedNode(
        "capabilitiesBlock", "capabilities block", block, vcam::kCapabilitiesMagic,
        vcam::kCapabilitiesVersion,
        {Value("cameraIndex", s.cameraIndex,
               "cameraIndex " + std::to_string(s.cameraIndex) + ", count " +
                   std::to_string(s.count) + ", sequence " + std::to_string(s.sequence)),
         Value("count", s.count), Array("entries", "", std::move(formats)),
         Value("sequence", s.sequence)});
}

Node ConsumersNode(const PublishedBlock<vcam::ConsumersSnapshot>& block,
                   const std::vector<std::optional<std::tm>>& startsLocal, std::uint64_t now) {
    const vcam::ConsumersSnapshot& s = block.snapshot;
    // The clock was read after the snapshot: an age below 0 is a tick the agent did not write.
    const auto age = static_cast<std::int64_t>(now - s.updatedTick);
    std::vector<Node> slots;
    for (std::uint32_t i = 0; i < s.count && i < vcam::kMaxConsumers; ++i) {
        const vcam::ConsumerEntry& e = s.consumers[i];
        const std::u16string name(e.displayName);
        const std::tm* started =
            i < startsLocal.size() && startsLocal[i] ? &*startsLocal[i] : nullptr;
        // std::string("["): a literal before a temporary makes GCC 12 warn of a false overlap.
        slots.push_back(Object(
            "",
            std::string("[") + std::to_string(i) + "] " + Quoted(ToUtf8(name)) + " identity " +
                Quoted(e.identity) + (e.packaged != 0 ? ", packaged, " : ", desktop, ") +
                (started ? "started " + TimeText(*started, kLogTimeFormat) + " local time"
                         : "started at FILETIME " + std::to_string(e.lastUsedStart) +
                               " (no local time for it)"),
            {Value("displayName", name), Value("identity", Latin1ToU16(e.identity)),
             Value("packaged", e.packaged != 0), Value("lastUsedStart", e.lastUsedStart),
             Value("startedLocal",
                   started ? std::optional(Latin1ToU16(TimeText(*started, "%Y-%m-%dT%H:%M:%S")))
                           : std::nullopt)}));
    }
    return PublishedNode(
        "consumersBlock", "consumers block", block, vcam::kConsumersMagic, vcam::kConsumersVersion,
        {Value("count", s.count,
               "count " + std::to_string(s.count) + ", updated " + std::to_string(std::abs(age)) +
                   (age >= 0 ? " ms ago" : " ms after the tool's clock reading") +
                   " (updatedTick " + std::to_string(s.updatedTick) + "), sequence " +
                   std::to_string(s.sequence)),
         Value("updatedTick", s.updatedTick), Value("updatedAgeMs", age),
         Array("slots", "", std::move(slots)), Value("sequence", s.sequence)});
}

}  // namespace orbelune
