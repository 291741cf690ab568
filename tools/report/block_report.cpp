#include "tools/report/block_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "agent/supervision.h"
#include "common/text.h"

namespace orbelune {
namespace {

TickReading JudgeTick(std::uint64_t value, std::uint64_t now) {
    TickReading tick;
    tick.value = value;
    // Ages beyond the signed range, as of a tick far in the future, are clamped to it.
    constexpr std::uint64_t kMost = INT64_MAX;
    tick.ageMs = value > now ? -static_cast<std::int64_t>(std::min(value - now, kMost))
                             : static_cast<std::int64_t>(std::min(now - value, kMost));
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

void WriteTick(JsonWriter& json, const char* key, const TickReading& tick) {
    json.Key(key);
    json.BeginObject();
    json.Member("value", tick.value);
    json.Member("ageMs", tick.ageMs);
    json.Member("fresh", tick.fresh);
    json.EndObject();
}

// "valid, magic M version V", or "not valid, ..." with the expected value beside each that
// differs.
std::string HeaderText(std::uint32_t magic, std::uint32_t version, std::uint32_t expectedMagic,
                       std::uint32_t expectedVersion) {
    const bool valid = magic == expectedMagic && version == expectedVersion;
    std::string text = valid ? "valid, magic " : "not valid, magic ";
    text += HexText(magic);
    if (magic != expectedMagic) {
        text += " (expected " + HexText(expectedMagic) + ")";
    }
    text += " version " + std::to_string(version);
    if (version != expectedVersion) {
        text += " (expected " + std::to_string(expectedVersion) + ")";
    }
    return text;
}

std::string CountText(std::uint32_t count, size_t slots) {
    std::string text = "count " + std::to_string(count);
    if (count > slots) {
        text += " (more than the " + std::to_string(slots) + " slots)";
    }
    return text;
}

// UTF-8 text in double quotes, with quotes, backslashes and control characters escaped so that
// a name cannot break the line it stands on.
std::string Quoted(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x" + HexText(byte).substr(8);  // two digits
        } else {
            out += c;
        }
    }
    return out + '"';
}

// "2026-01-01 10:00:00.000" with `dateTimeSeparator` between date and time.
std::string LocalTimeText(const LocalTime& time, char dateTimeSeparator) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d.%03d", time.year, time.month,
                  time.day, dateTimeSeparator, time.hour, time.minute, time.second,
                  time.milliseconds);
    return text;
}

// "+01:00", "-05:30".
std::string UtcOffsetText(int minutes) {
    char text[16] = {};
    const int magnitude = minutes < 0 ? -minutes : minutes;
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

// The line of a published block that has no section (`where` says where it was looked for) or
// cannot be mapped at `size` bytes; empty when the block was read.
template <typename Reading>
std::string MissingBlockText(std::string_view title, const PublishedBlockFacts<Reading>& block,
                             size_t size, std::string_view where = {}) {
    if (block.name.empty()) {
        return std::string(title) + ": no section" + std::string(where) + "\n";
    }
    if (!block.reading) {
        return std::string(title) + ": section " + ToUtf8(block.name) + " cannot be mapped at " +
               std::to_string(size) + " bytes; the agent counts it as missing\n";
    }
    return {};
}

// The tool reads the clock after copying the block, so an age below 0 means a tick the agent
// did not write.
std::int64_t UpdateAgeMs(const vcam::ConsumersReading& r, std::uint64_t now) {
    return static_cast<std::int64_t>(now - r.updatedTick);
}

// Begins the object of a published block with its section name and whether it was mapped;
// true when its fields follow.
template <typename Reading>
bool BeginBlockJson(JsonWriter& json, const char* key, const PublishedBlockFacts<Reading>& block) {
    json.Key(key);
    json.BeginObject();
    json.Member("section", block.name.empty() ? std::nullopt : std::optional(block.name));
    json.Member("mapped", block.reading.has_value());
    return block.reading.has_value();
}

void WriteHeaderJson(JsonWriter& json, std::uint32_t magic, std::uint32_t version, bool valid) {
    json.Member("magic", magic);
    json.Member("version", version);
    json.Member("valid", valid);
}

// The control section as a published block: the agent reads it the same way.
PublishedBlockFacts<vcam::ControlReading> ControlBlock(const SectionFacts& control) {
    return {control.name, vcam::ReadControlBlock(control.bytes.data(), control.bytes.size())};
}

// The local start time of slot `i`, when the edge found one.
const LocalTime* StartLocal(const std::vector<std::optional<LocalTime>>& startsLocal, size_t i) {
    return i < startsLocal.size() && startsLocal[i] ? &*startsLocal[i] : nullptr;
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

std::string ControlText(const SectionFacts& control, std::uint64_t now) {
    const auto block = ControlBlock(control);
    std::string missing = MissingBlockText(
        "control block", block, vcam::kControlBlockSize,
        " under Global\\ or Local\\" + ToUtf8(std::wstring_view(vcam::kControlSectionName)));
    if (!missing.empty()) {
        return missing;
    }
    return "control section " + ToUtf8(control.name) + "\n" +
           DescribeControlBlock(*block.reading, now);
}

void WriteControlJson(JsonWriter& json, const SectionFacts& control, std::uint64_t now) {
    const auto block = ControlBlock(control);
    if (BeginBlockJson(json, "controlBlock", block)) {
        const vcam::ControlReading& r = *block.reading;
        const ControlStatus status = JudgeControlBlock(r, now);
        json.Member("now", now);
        WriteHeaderJson(json, r.magic, r.version, r.valid);
        json.Member("cameraIndex", r.cameraIndex);
        WriteTick(json, "demandTick", status.demandTick);
        WriteTick(json, "consumerStartTick", status.consumerStartTick);
        WriteTick(json, "consumerHeartbeatTick", status.consumerHeartbeatTick);
        json.Member("demand", status.demand);
        json.Member("consumerPresent", status.consumerPresent);
    }
    json.EndObject();
}

std::string CapabilitiesText(const PublishedBlockFacts<vcam::CapabilitiesReading>& block) {
    std::string missing =
        MissingBlockText("capabilities block", block, vcam::kCapabilitiesBlockSize);
    if (!missing.empty()) {
        return missing;
    }
    const vcam::CapabilitiesReading& r = *block.reading;
    std::string text =
        "capabilities block (" + ToUtf8(block.name) + "): " +
        HeaderText(r.magic, r.version, vcam::kCapabilitiesMagic, vcam::kCapabilitiesVersion);
    text += r.valid ? "\n" : "; not published by the agent yet\n";
    text += "  cameraIndex " + std::to_string(r.cameraIndex) + ", " +
            CountText(r.count, vcam::kMaxCapabilities) + ", sequence " +
            std::to_string(r.sequence) + "\n";
    for (size_t i = 0; i < r.entries.size(); ++i) {
        const vcam::CameraCapability& e = r.entries[i];
        text += "  [" + std::to_string(i) + "] " + std::to_string(e.width) + "x" +
                std::to_string(e.height) + "@" + std::to_string(e.frameRateNumerator) + "/" +
                std::to_string(e.frameRateDenominator) + "\n";
    }
    return text;
}

void WriteCapabilitiesJson(JsonWriter& json,
                           const PublishedBlockFacts<vcam::CapabilitiesReading>& block) {
    if (BeginBlockJson(json, "capabilitiesBlock", block)) {
        const vcam::CapabilitiesReading& r = *block.reading;
        WriteHeaderJson(json, r.magic, r.version, r.valid);
        json.Member("cameraIndex", r.cameraIndex);
        json.Member("count", r.count);
        json.Key("entries");
        json.BeginArray();
        for (const vcam::CameraCapability& e : r.entries) {
            json.BeginObject();
            json.Member("width", e.width);
            json.Member("height", e.height);
            json.Member("frameRateNumerator", e.frameRateNumerator);
            json.Member("frameRateDenominator", e.frameRateDenominator);
            json.EndObject();
        }
        json.EndArray();
        json.Member("sequence", r.sequence);
    }
    json.EndObject();
}

std::string ConsumersText(const PublishedBlockFacts<vcam::ConsumersReading>& block,
                          const std::vector<std::optional<LocalTime>>& startsLocal,
                          std::uint64_t now) {
    std::string missing = MissingBlockText("consumers block", block, vcam::kConsumersBlockSize);
    if (!missing.empty()) {
        return missing;
    }
    const vcam::ConsumersReading& r = *block.reading;
    std::string text =
        "consumers block (" + ToUtf8(block.name) +
        "): " + HeaderText(r.magic, r.version, vcam::kConsumersMagic, vcam::kConsumersVersion);
    text += r.valid ? "\n" : "; the agent never writes a block like this\n";
    text += "  " + CountText(r.count, vcam::kMaxConsumers) + ", ";
    const std::int64_t age = UpdateAgeMs(r, now);
    if (r.updatedTick == 0) {
        text += "never updated";
    } else if (age >= 0) {
        text += "updated " + std::to_string(age) + " ms ago (updatedTick " +
                std::to_string(r.updatedTick) + ")";
    } else {
        text += "updatedTick " + std::to_string(r.updatedTick) + ", " + std::to_string(-age) +
                " ms later than the tool's clock reading";
    }
    text += ", sequence " + std::to_string(r.sequence) + "\n";
    for (size_t i = 0; i < r.slots.size(); ++i) {
        const vcam::ConsumerSlot& slot = r.slots[i];
        const LocalTime* started = StartLocal(startsLocal, i);
        text += "  [" + std::to_string(i) + "] " + Quoted(ToUtf8(slot.displayName)) + " identity " +
                Quoted(Latin1ToUtf8(slot.identity)) + ", ";
        text += slot.packaged == 0   ? "desktop"
                : slot.packaged == 1 ? "packaged"
                                     : "packaged=" + std::to_string(slot.packaged);
        if (slot.lastUsedStart == 0) {
            text += ", no start time";
        } else if (started != nullptr) {
            text += ", started " + LocalTimeText(*started, ' ') + " local time (UTC" +
                    UtcOffsetText(started->utcOffsetMinutes) + ")";
        } else {
            text += ", started at FILETIME " + std::to_string(slot.lastUsedStart) +
                    " (no local time for it)";
        }
        text += "\n";
    }
    return text;
}

void WriteConsumersJson(JsonWriter& json, const PublishedBlockFacts<vcam::ConsumersReading>& block,
                        const std::vector<std::optional<LocalTime>>& startsLocal,
                        std::uint64_t now) {
    if (BeginBlockJson(json, "consumersBlock", block)) {
        const vcam::ConsumersReading& r = *block.reading;
        WriteHeaderJson(json, r.magic, r.version, r.valid);
        json.Member("count", r.count);
        json.Member("updatedTick", r.updatedTick);
        json.Member("updatedAgeMs",
                    r.updatedTick == 0 ? std::nullopt : std::optional(UpdateAgeMs(r, now)));
        json.Key("slots");
        json.BeginArray();
        for (size_t i = 0; i < r.slots.size(); ++i) {
            const vcam::ConsumerSlot& slot = r.slots[i];
            const LocalTime* started = StartLocal(startsLocal, i);
            json.BeginObject();
            json.Member("displayName", slot.displayName);
            json.Member("identity", slot.identity);
            json.Member("packaged", slot.packaged != 0);
            json.Member("lastUsedStart", slot.lastUsedStart);
            // ISO 8601 with the offset from UTC.
            json.Member("startedLocal",
                        slot.lastUsedStart != 0 && started != nullptr
                            ? std::optional(LocalTimeText(*started, 'T') +
                                            UtcOffsetText(started->utcOffsetMinutes))
                            : std::nullopt);
            json.EndObject();
        }
        json.EndArray();
        json.Member("sequence", r.sequence);
    }
    json.EndObject();
}

}  // namespace orbelune
