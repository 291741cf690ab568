#include "tools/ctl/status_report.h"

#include "common/text.h"
#include "tools/ctl/camera_report.h"
#include "tools/report/json_writer.h"

namespace orbelune {
namespace {

// Each part of the status as text and as JSON, side by side, in the order they are shown.

std::string SettingsText(const StatusFacts& facts) {
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
    return text;
}

void WriteSettingsJson(JsonWriter& json, const StatusFacts& facts) {
    json.Key("settings");
    json.BeginObject();
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = kSettingRows[i];
        const EffectiveSetting effective =
            ResolveSetting(facts.raw, static_cast<Setting>(i), facts.moduleFolder);
        json.Key(ToUtf8(row.name));
        json.BeginObject();
        if (row.kind == SettingKind::kSignedNumber) {
            json.Member("value", static_cast<std::int32_t>(effective.number));
        } else if (row.kind == SettingKind::kSwitch) {
            json.Member("value", effective.number != 0);
        } else if (row.kind == SettingKind::kUnsignedNumber) {
            json.Member("value", effective.number);
        } else {
            json.Member("value", effective.text);
        }
        json.Member("source", effective.fromRegistry ? "registry" : "default");
        json.EndObject();
    }
    json.EndObject();
}

std::string ProcessesText(const StatusFacts& facts) {
    std::string text = facts.agentRunning ? "agent: running in this session\n"
                                          : "agent: not running in this session\n";
    text += "producer (" + ToUtf8(facts.producerImage) + "): ";
    if (facts.producerIds.empty()) {
        return text + "not running\n";
    }
    text += facts.producerIds.size() > 1 ? "running, process ids" : "running, process id";
    for (size_t i = 0; i < facts.producerIds.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(facts.producerIds[i]);
    }
    return text + "\n";
}

void WriteProcessesJson(JsonWriter& json, const StatusFacts& facts) {
    json.Member("agentRunning", facts.agentRunning);
    json.Key("producer");
    json.BeginObject();
    json.Member("image", facts.producerImage);
    json.Member("running", !facts.producerIds.empty());
    json.Key("processIds");
    json.BeginArray();
    for (const std::uint32_t id : facts.producerIds) {
        json.Number(std::uint64_t{id});
    }
    json.EndArray();
    json.EndObject();
}

std::string LogonEntriesText(const StatusFacts& facts) {
    const auto entry = [](const char* title, const std::optional<std::u16string>& value) {
        return std::string(title) +
               (value ? ": installed, " + ToUtf8(*value) + "\n" : std::string(": not installed\n"));
    };
    return entry("logon entry", facts.logonEntry) +
           entry("logon entry for all users", facts.machineLogonEntry);
}

void WriteLogonEntriesJson(JsonWriter& json, const StatusFacts& facts) {
    for (const auto& [key, value] : {std::pair{"logonEntry", &facts.logonEntry},
                                     {"machineLogonEntry", &facts.machineLogonEntry}}) {
        json.Member(key, *value);
    }
}

std::string LogText(const StatusFacts& facts) {
    std::string text = "log " + ToUtf8(facts.logPath);
    if (!facts.logBytes) {
        return text + ": cannot be read\n";
    }
    const std::vector<std::string> lines = LastLines(*facts.logBytes, kStatusLogLines);
    text +=
        ", last " + std::to_string(lines.size()) + " line" + (lines.size() == 1 ? "" : "s") + ":\n";
    for (const std::string& line : lines) {
        text += "  " + Latin1ToUtf8(line) + "\n";
    }
    return text;
}

void WriteLogJson(JsonWriter& json, const StatusFacts& facts) {
    json.Key("log");
    json.BeginObject();
    json.Member("path", facts.logPath);
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
}

}  // namespace

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

// The camera index as the agent takes it.
std::int32_t CameraIndexOf(const StatusFacts& facts) {
    return SettingsFromValues(facts.raw, facts.moduleFolder).cameraIndex;
}

std::string StatusText(const StatusFacts& facts) {
    return SettingsText(facts) +
           (facts.cameras ? ConfiguredCameraText(*facts.cameras, CameraIndexOf(facts)) : "") +
           ProcessesText(facts) + LogonEntriesText(facts) + ControlText(facts.control, facts.now) +
           CapabilitiesText(facts.capabilities) +
           ConsumersText(facts.consumers, facts.consumerStartsLocal, facts.now) + LogText(facts);
}

std::string StatusJson(const StatusFacts& facts) {
    JsonWriter json;
    json.BeginObject();
    WriteSettingsJson(json, facts);
    if (facts.cameras) {
        WriteConfiguredCameraJson(json, *facts.cameras, CameraIndexOf(facts));
    }
    WriteProcessesJson(json, facts);
    WriteLogonEntriesJson(json, facts);
    WriteControlJson(json, facts.control, facts.now);
    WriteCapabilitiesJson(json, facts.capabilities);
    WriteConsumersJson(json, facts.consumers, facts.consumerStartsLocal, facts.now);
    WriteLogJson(json, facts);
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace orbelune
