#include "tools/status_report.h"

#include <algorithm>
#include <cstdio>

#include "common/path.h"
#include "common/text.h"
#include "tools/describe_control.h"
#include "tools/json_writer.h"

namespace orbelune {
namespace {

// A setting's effective value as text, as the agent's rules make it.
std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective) {
    switch (kind) {
        case SettingKind::kSignedNumber:
            return DecimalText(static_cast<long long>(static_cast<std::int32_t>(effective.number)));
        case SettingKind::kSwitch:
            return effective.number != 0 ? u"1" : u"0";
        case SettingKind::kUnsignedNumber:
            return DecimalText(static_cast<unsigned long long>(effective.number));
        default:
            return effective.text;
    }
}

void WriteSettingJson(JsonWriter& json, SettingKind kind, const EffectiveSetting& effective) {
    switch (kind) {
        case SettingKind::kSignedNumber:
            json.Number(static_cast<std::int64_t>(static_cast<std::int32_t>(effective.number)));
            return;
        case SettingKind::kSwitch:
            json.Bool(effective.number != 0);
            return;
        case SettingKind::kUnsignedNumber:
            json.Number(static_cast<std::uint64_t>(effective.number));
            return;
        default:
            json.String(effective.text);
    }
}

// "Global\ or Local\" and the control section's name.
std::string ControlName() {
    std::string name = "Global\\ or Local\\";
    for (const wchar_t* c = vcam::kControlSectionName; *c != 0; ++c) {
        name += static_cast<char>(*c);  // the name is ASCII
    }
    return name;
}

void WriteTick(JsonWriter& json, const char* key, const TickReading& tick) {
    json.Key(key);
    json.BeginObject();
    json.Key("value");
    json.Number(tick.value);
    json.Key("ageMs");
    json.Number(tick.ageMs);
    json.Key("fresh");
    json.Bool(tick.fresh);
    json.EndObject();
}

std::string Hex32(std::uint32_t value) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// "valid, magic M version V", or "not valid, ..." with the expected value beside each that
// differs.
std::string HeaderText(std::uint32_t magic, std::uint32_t version, std::uint32_t expectedMagic,
                       std::uint32_t expectedVersion) {
    const bool valid = magic == expectedMagic && version == expectedVersion;
    std::string text = valid ? "valid, magic " : "not valid, magic ";
    text += Hex32(magic);
    if (magic != expectedMagic) {
        text += " (expected " + Hex32(expectedMagic) + ")";
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
            char escape[8] = {};
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
            out += escape;
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

// The line of a published block that has no section or cannot be mapped at `size` bytes;
// empty when the block was read.
template <typename Reading>
std::string MissingBlockText(std::string_view title, const PublishedBlockFacts<Reading>& block,
                             size_t size) {
    if (block.name.empty()) {
        return std::string(title) + ": no section\n";
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
    json.Key("section");
    if (block.name.empty()) {
        json.Null();
    } else {
        json.String(block.name);
    }
    json.Key("mapped");
    json.Bool(block.reading.has_value());
    return block.reading.has_value();
}

void WriteHeaderJson(JsonWriter& json, std::uint32_t magic, std::uint32_t version, bool valid) {
    json.Key("magic");
    json.Number(static_cast<std::uint64_t>(magic));
    json.Key("version");
    json.Number(static_cast<std::uint64_t>(version));
    json.Key("valid");
    json.Bool(valid);
}

void WriteCapabilitiesJson(JsonWriter& json,
                           const PublishedBlockFacts<vcam::CapabilitiesReading>& block) {
    if (BeginBlockJson(json, "capabilitiesBlock", block)) {
        const vcam::CapabilitiesReading& r = *block.reading;
        WriteHeaderJson(json, r.magic, r.version, r.valid);
        json.Key("cameraIndex");
        json.Number(static_cast<std::uint64_t>(r.cameraIndex));
        json.Key("count");
        json.Number(static_cast<std::uint64_t>(r.count));
        json.Key("entries");
        json.BeginArray();
        for (const vcam::CameraCapability& e : r.entries) {
            json.BeginObject();
            json.Key("width");
            json.Number(static_cast<std::uint64_t>(e.width));
            json.Key("height");
            json.Number(static_cast<std::uint64_t>(e.height));
            json.Key("frameRateNumerator");
            json.Number(static_cast<std::uint64_t>(e.frameRateNumerator));
            json.Key("frameRateDenominator");
            json.Number(static_cast<std::uint64_t>(e.frameRateDenominator));
            json.EndObject();
        }
        json.EndArray();
        json.Key("sequence");
        json.Number(static_cast<std::uint64_t>(r.sequence));
    }
    json.EndObject();
}

// The local start time of slot `i`, when the edge found one.
const LocalTime* StartLocal(const std::vector<std::optional<LocalTime>>& startsLocal, size_t i) {
    return i < startsLocal.size() && startsLocal[i] ? &*startsLocal[i] : nullptr;
}

void WriteConsumersJson(JsonWriter& json, const PublishedBlockFacts<vcam::ConsumersReading>& block,
                        const std::vector<std::optional<LocalTime>>& startsLocal,
                        std::uint64_t now) {
    if (BeginBlockJson(json, "consumersBlock", block)) {
        const vcam::ConsumersReading& r = *block.reading;
        WriteHeaderJson(json, r.magic, r.version, r.valid);
        json.Key("count");
        json.Number(static_cast<std::uint64_t>(r.count));
        json.Key("updatedTick");
        json.Number(r.updatedTick);
        json.Key("updatedAgeMs");
        if (r.updatedTick == 0) {
            json.Null();
        } else {
            json.Number(UpdateAgeMs(r, now));
        }
        json.Key("slots");
        json.BeginArray();
        for (size_t i = 0; i < r.slots.size(); ++i) {
            const vcam::ConsumerSlot& slot = r.slots[i];
            const LocalTime* started = StartLocal(startsLocal, i);
            json.BeginObject();
            json.Key("displayName");
            json.String(slot.displayName);
            json.Key("identity");
            json.Latin1String(slot.identity);
            json.Key("packaged");
            json.Bool(slot.packaged != 0);
            json.Key("lastUsedStart");
            json.Number(slot.lastUsedStart);
            json.Key("startedLocal");  // ISO 8601 with the offset from UTC
            if (slot.lastUsedStart != 0 && started != nullptr) {
                json.Latin1String(LocalTimeText(*started, 'T') +
                                  UtcOffsetText(started->utcOffsetMinutes));
            } else {
                json.Null();
            }
            json.EndObject();
        }
        json.EndArray();
        json.Key("sequence");
        json.Number(static_cast<std::uint64_t>(r.sequence));
    }
    json.EndObject();
}

}  // namespace

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

std::string StatusText(const StatusFacts& facts) {
    std::string text = "settings (HKEY_CURRENT_USER\\" + ToUtf8(kSettingsKey) + "):\n";
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = kSettingRows[i];
        const EffectiveSetting effective =
            ResolveSetting(facts.raw, static_cast<Setting>(i), facts.moduleFolder);
        std::string name = ToUtf8(row.name);
        name.resize(13, ' ');
        text += "  " + name + ToUtf8(SettingText(row.kind, effective)) +
                (effective.fromRegistry ? "  (registry)\n" : "  (default)\n");
    }

    text += facts.agentRunning ? "agent: running in this session\n"
                               : "agent: not running in this session\n";
    text += "producer (" + ToUtf8(facts.producerImage) + "): ";
    if (facts.producerIds.empty()) {
        text += "not running\n";
    } else {
        text += "running, process id";
        text += facts.producerIds.size() > 1 ? "s" : "";
        for (size_t i = 0; i < facts.producerIds.size(); ++i) {
            text += (i == 0 ? " " : ", ") + std::to_string(facts.producerIds[i]);
        }
        text += "\n";
    }
    text += facts.logonEntry ? "logon entry: installed, " + ToUtf8(*facts.logonEntry) + "\n"
                             : std::string("logon entry: not installed\n");
    text += facts.machineLogonEntry
                ? "logon entry for all users: installed, " + ToUtf8(*facts.machineLogonEntry) + "\n"
                : std::string("logon entry for all users: not installed\n");

    if (facts.control.name.empty()) {
        text += "control block: no section under " + ControlName() + "\n";
    } else if (const auto control =
                   vcam::ReadControlBlock(facts.control.bytes.data(), facts.control.bytes.size())) {
        text += "control section " + ToUtf8(facts.control.name) + "\n";
        text += DescribeControlBlock(*control, facts.now);
    } else {
        text += "control block: section " + ToUtf8(facts.control.name) + " cannot be mapped at " +
                std::to_string(vcam::kControlBlockSize) +
                " bytes; the agent counts it as missing\n";
    }

    text += CapabilitiesText(facts.capabilities);
    text += ConsumersText(facts.consumers, facts.consumerStartsLocal, facts.now);

    text += "log " + ToUtf8(facts.logPath);
    if (!facts.logBytes) {
        text += ": cannot be read\n";
        return text;
    }
    const std::vector<std::string> lines = LastLines(*facts.logBytes, kStatusLogLines);
    text +=
        ", last " + std::to_string(lines.size()) + " line" + (lines.size() == 1 ? "" : "s") + ":\n";
    for (const std::string& line : lines) {
        text += "  " + Latin1ToUtf8(line) + "\n";
    }
    return text;
}

std::string StatusJson(const StatusFacts& facts) {
    JsonWriter json;
    json.BeginObject();
    json.Key("settings");
    json.BeginObject();
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = kSettingRows[i];
        const EffectiveSetting effective =
            ResolveSetting(facts.raw, static_cast<Setting>(i), facts.moduleFolder);
        json.Key(ToUtf8(row.name));
        json.BeginObject();
        json.Key("value");
        WriteSettingJson(json, row.kind, effective);
        json.Key("source");
        json.Latin1String(effective.fromRegistry ? "registry" : "default");
        json.EndObject();
    }
    json.EndObject();

    json.Key("agentRunning");
    json.Bool(facts.agentRunning);
    json.Key("producer");
    json.BeginObject();
    json.Key("image");
    json.String(facts.producerImage);
    json.Key("running");
    json.Bool(!facts.producerIds.empty());
    json.Key("processIds");
    json.BeginArray();
    for (const std::uint32_t id : facts.producerIds) {
        json.Number(static_cast<std::uint64_t>(id));
    }
    json.EndArray();
    json.EndObject();
    const auto logonEntry = [&](const char* key, const std::optional<std::u16string>& entry) {
        json.Key(key);
        if (entry) {
            json.String(*entry);
        } else {
            json.Null();
        }
    };
    logonEntry("logonEntry", facts.logonEntry);
    logonEntry("machineLogonEntry", facts.machineLogonEntry);

    json.Key("controlBlock");
    json.BeginObject();
    json.Key("section");
    if (facts.control.name.empty()) {
        json.Null();
    } else {
        json.String(facts.control.name);
    }
    const auto control =
        vcam::ReadControlBlock(facts.control.bytes.data(), facts.control.bytes.size());
    json.Key("mapped");
    json.Bool(control.has_value());
    if (control) {
        const ControlStatus status = JudgeControlBlock(*control, facts.now);
        json.Key("now");
        json.Number(facts.now);
        WriteHeaderJson(json, control->magic, control->version, control->valid);
        json.Key("cameraIndex");
        json.Number(static_cast<std::uint64_t>(control->cameraIndex));
        WriteTick(json, "demandTick", status.demandTick);
        WriteTick(json, "consumerStartTick", status.consumerStartTick);
        WriteTick(json, "consumerHeartbeatTick", status.consumerHeartbeatTick);
        json.Key("demand");
        json.Bool(status.demand);
        json.Key("consumerPresent");
        json.Bool(status.consumerPresent);
    }
    json.EndObject();

    WriteCapabilitiesJson(json, facts.capabilities);
    WriteConsumersJson(json, facts.consumers, facts.consumerStartsLocal, facts.now);

    json.Key("log");
    json.BeginObject();
    json.Key("path");
    json.String(facts.logPath);
    json.Key("lines");
    if (facts.logBytes) {
        json.BeginArray();
        for (const std::string& line : LastLines(*facts.logBytes, kStatusLogLines)) {
            json.Latin1String(line);
        }
        json.EndArray();
    } else {
        json.Null();
    }
    json.EndObject();
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace orbelune
