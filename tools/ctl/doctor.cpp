#include "tools/ctl/doctor.h"

#include "common/text.h"
#include "tools/ctl/doctor_rules.h"
#include "tools/report/json_writer.h"

namespace orbelune {

std::string Utf8(std::wstring_view ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// The last recent line that starts with `message`, or nothing.
std::optional<std::string> LastRecentLine(const DoctorContext& c, std::string_view message) {
    for (auto line = c.recentLines.rbegin(); line != c.recentLines.rend(); ++line) {
        if (line->size() > 20 && std::string_view(*line).substr(20).starts_with(message)) {
            return *line;
        }
    }
    return std::nullopt;
}

std::u16string LogonEntryProgram(std::u16string_view command) {
    while (!command.empty() && command.front() == u' ') {
        command.remove_prefix(1);
    }
    if (!command.empty() && command.front() == u'"') {
        command.remove_prefix(1);
        return std::u16string(command.substr(0, command.find(u'"')));
    }
    return std::u16string(command.substr(0, command.find(u' ')));
}

std::optional<std::int64_t> LogLineSeconds(std::string_view line) {
    // "YYYY-MM-DD HH:MM:SS": digits where digits stand, separators where they stand.
    constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
    if (line.size() < kShape.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](size_t at, size_t length) {
        std::int64_t value = 0;
        for (size_t i = at; i < at + length; ++i) {
            value = value * 10 + (line[i] - '0');
        }
        return value;
    };
    // Days from 1970-01-01 of a date in the proleptic Gregorian calendar.
    std::int64_t year = number(0, 4);
    const std::int64_t month = number(5, 2);
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear =
        (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + number(8, 2) - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
}

std::vector<Finding> Diagnose(const DoctorFacts& facts) {
    const StatusFacts& s = facts.status;
    DoctorContext c{facts,
              SettingsFromValues(s.raw, s.moduleFolder),
              vcam::ReadControlBlock(s.control.bytes.data(), s.control.bytes.size()),
              {}};
    if (s.logBytes) {
        for (std::string& line : LastLines(*s.logBytes, kDoctorLogLines)) {
            const std::optional<std::int64_t> at = LogLineSeconds(line);
            if (at && *at > facts.localNowSeconds - kDoctorRecentSeconds) {
                c.recentLines.push_back(std::move(line));
            }
        }
    }
    std::vector<Finding> findings;
    FindAgentProblems(c, findings);
    FindSectionProblems(c, findings);
    FindHeaderProblems(c, findings);
    FindTickProblems(c, findings);
    FindSettingProblems(c, findings);
    FindProducerProblems(c, findings);
    FindRestartLoop(c, findings);
    FindCapabilitiesProblems(c, findings);
    FindLogProblems(c, findings);
    return findings;
}

std::string DoctorText(const std::vector<Finding>& findings) {
    if (findings.empty()) {
        return "nothing wrong found: the agent runs, the virtual camera's blocks are in order "
               "and the settings are used as stored\n";
    }
    std::string text;
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        text += std::to_string(i + 1) + ". " + f.problem + "\n";
        for (const std::string& evidence : f.evidence) {
            text += "   evidence: " + evidence + "\n";
        }
        text += "   to do: " + f.action + "\n";
    }
    return text;
}

std::string DoctorJson(const std::vector<Finding>& findings) {
    JsonWriter json;
    json.BeginObject();
    json.Key("findings");
    json.BeginArray();
    for (const Finding& f : findings) {
        json.BeginObject();
        json.Key("kind");
        json.Latin1String(f.kind);
        json.Key("problem");
        json.String(Utf8ToU16(f.problem));
        json.Key("evidence");
        json.BeginArray();
        for (const std::string& evidence : f.evidence) {
            json.String(Utf8ToU16(evidence));
        }
        json.EndArray();
        json.Key("action");
        json.String(Utf8ToU16(f.action));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace orbelune
