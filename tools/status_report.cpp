#include "tools/status_report.h"

#include "agent/control_block.h"
#include "common/path.h"
#include "tools/describe_control.h"
#include "tools/json_writer.h"

namespace orbelune {
namespace {

// One setting as shown: its name, its value as text and as JSON, and its source.
struct SettingRow {
    std::u16string_view name;
    std::u16string text;
    bool fromRegistry;
};

std::vector<SettingRow> SettingRows(const StatusFacts& facts) {
    const AgentSettings& s = facts.settings;
    const SettingSources sources = SourcesOf(facts.raw, s);
    return {
        {kCameraIndexValue, DecimalText(static_cast<long long>(s.cameraIndex)),
         sources.cameraIndex},
        {kProviderValue, s.provider, sources.provider},
        {kEnabledValue, s.enabled ? u"1" : u"0", sources.enabled},
        {kIdleStopMsValue, DecimalText(static_cast<unsigned long long>(s.idleStopMs)),
         sources.idleStopMs},
        {kProducerExeValue, s.producerExe, sources.producerExe},
        {kRepoRootValue, s.repoRoot, sources.repoRoot},
    };
}

std::string Latin1ToUtf8(std::string_view text) {
    std::u16string units;
    for (const char byte : text) {
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return ToUtf8(units);
}

std::string Indented(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart) {
            out += "  ";
        }
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

// "Global\ or Local\" and the control section's name.
std::string ControlName() {
    std::string name = "Global\\ or Local\\";
    for (const wchar_t* c = kControlBlockName; *c != 0; ++c) {
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

}  // namespace

SettingSources SourcesOf(const RawSettingValues& raw, const AgentSettings& effective) {
    SettingSources sources;
    sources.cameraIndex = raw.cameraIndex.has_value() &&
                          static_cast<std::uint32_t>(effective.cameraIndex) == *raw.cameraIndex;
    sources.provider = raw.provider.has_value() && effective.provider == *raw.provider;
    sources.enabled = raw.enabled.has_value() && effective.enabled == (*raw.enabled != 0);
    sources.idleStopMs = raw.idleStopMs.has_value() && effective.idleStopMs == *raw.idleStopMs;
    sources.producerExe = raw.producerExe.has_value() && effective.producerExe == *raw.producerExe;
    sources.repoRoot = raw.repoRoot.has_value() && effective.repoRoot == *raw.repoRoot;
    return sources;
}

std::vector<std::string> LastLines(std::string_view text, size_t count) {
    std::vector<std::string> lines;
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') {
        --end;
    }
    while (lines.size() < count && end > 0) {
        const size_t newline = text.rfind('\n', end - 1);
        const size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        if (newline == std::string_view::npos) {
            break;
        }
        end = newline;
    }
    return {lines.rbegin(), lines.rend()};
}

std::u16string_view FileNameOfPath(std::u16string_view path) {
    const size_t separator = path.find_last_of(u"\\/");
    return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string StatusText(const StatusFacts& facts) {
    std::string text = "settings (HKEY_CURRENT_USER\\" + ToUtf8(kSettingsKey) + "):\n";
    for (const SettingRow& row : SettingRows(facts)) {
        std::string name = ToUtf8(row.name);
        name.resize(13, ' ');
        text += "  " + name + ToUtf8(row.text) +
                (row.fromRegistry ? "  (registry)\n" : "  (default)\n");
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

    if (facts.control.name.empty()) {
        text += "control block: no section under " + ControlName() + "\n";
    } else if (facts.control.bytes.size() < kControlBlockSize) {
        text += "control block: section " + ToUtf8(facts.control.name) + " cannot be mapped at " +
                std::to_string(kControlBlockSize) + " bytes; the agent counts it as missing\n";
    } else {
        text += "control section " + ToUtf8(facts.control.name) + "\n";
        std::vector<std::byte> copy = facts.control.bytes;
        text += DescribeControlBlock(copy, facts.now);
    }

    for (const BlockFacts& block : facts.blocks) {
        text += block.title;
        if (block.section.name.empty()) {
            text += ": no section";
            text += block.describe == nullptr ? "; not available in this build\n" : "\n";
        } else if (block.section.bytes.empty()) {
            text += ": section " + ToUtf8(block.section.name) +
                    " cannot be mapped at its full size; the agent counts it as missing\n";
        } else if (block.describe == nullptr) {
            text += ": section " + ToUtf8(block.section.name) +
                    " present; not available in this build\n";
        } else {
            text += " (" + ToUtf8(block.section.name) + "):\n" +
                    Indented(block.describe(block.section.bytes));
        }
    }

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
    const AgentSettings& s = facts.settings;
    const SettingSources sources = SourcesOf(facts.raw, s);
    const auto source = [&](bool fromRegistry) {
        json.Key("source");
        json.Latin1String(fromRegistry ? "registry" : "default");
        json.EndObject();
    };
    json.Key("CameraIndex");
    json.BeginObject();
    json.Key("value");
    json.Number(static_cast<std::int64_t>(s.cameraIndex));
    source(sources.cameraIndex);
    json.Key("Provider");
    json.BeginObject();
    json.Key("value");
    json.String(s.provider);
    source(sources.provider);
    json.Key("Enabled");
    json.BeginObject();
    json.Key("value");
    json.Bool(s.enabled);
    source(sources.enabled);
    json.Key("IdleStopMs");
    json.BeginObject();
    json.Key("value");
    json.Number(s.idleStopMs);
    source(sources.idleStopMs);
    json.Key("ProducerExe");
    json.BeginObject();
    json.Key("value");
    json.String(s.producerExe);
    source(sources.producerExe);
    json.Key("RepoRoot");
    json.BeginObject();
    json.Key("value");
    json.String(s.repoRoot);
    source(sources.repoRoot);
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
    json.Key("logonEntry");
    if (facts.logonEntry) {
        json.String(*facts.logonEntry);
    } else {
        json.Null();
    }

    json.Key("controlBlock");
    json.BeginObject();
    json.Key("section");
    if (facts.control.name.empty()) {
        json.Null();
    } else {
        json.String(facts.control.name);
    }
    json.Key("mapped");
    json.Bool(facts.control.bytes.size() >= kControlBlockSize);
    if (facts.control.bytes.size() >= kControlBlockSize) {
        std::vector<std::byte> copy = facts.control.bytes;
        const ControlReading reading = ReadControlBlock(copy, facts.now);
        json.Key("now");
        json.Number(facts.now);
        json.Key("magic");
        json.Number(static_cast<std::uint64_t>(reading.magic));
        json.Key("version");
        json.Number(static_cast<std::uint64_t>(reading.version));
        json.Key("valid");
        json.Bool(reading.valid);
        json.Key("cameraIndex");
        json.Number(static_cast<std::uint64_t>(reading.cameraIndex));
        WriteTick(json, "demandTick", reading.demandTick);
        WriteTick(json, "consumerStartTick", reading.consumerStartTick);
        WriteTick(json, "consumerHeartbeatTick", reading.consumerHeartbeatTick);
        json.Key("demand");
        json.Bool(reading.demand);
        json.Key("consumerPresent");
        json.Bool(reading.consumerPresent);
    }
    json.EndObject();

    for (const BlockFacts& block : facts.blocks) {
        json.Key(block.jsonKey);
        json.BeginObject();
        json.Key("section");
        if (block.section.name.empty()) {
            json.Null();
        } else {
            json.String(block.section.name);
        }
        json.Key("mapped");
        json.Bool(!block.section.bytes.empty());
        json.Key("available");
        json.Bool(block.describe != nullptr);
        if (block.describe != nullptr && !block.section.bytes.empty()) {
            json.Key("text");
            json.Latin1String(block.describe(block.section.bytes));
        }
        json.EndObject();
    }

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
