#include "tools/ctl/doctor.h"

#include <algorithm>

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

std::optional<std::string> LastRecentFailure(const DoctorContext& c, std::string_view message) {
    for (auto line = c.recentLines.rbegin(); line != c.recentLines.rend(); ++line) {
        const std::string_view text =
            std::string_view(*line).substr(std::min<size_t>(line->size(), 20));
        if (text.starts_with("producer started (")) {
            return std::nullopt;
        }
        if (text.starts_with(message)) {
            return *line;
        }
    }
    return std::nullopt;
}

bool IsAbsolutePath(std::u16string_view path) {
    const auto separator = [&](size_t at) {
        return at < path.size() && (path[at] == u'\\' || path[at] == u'/');
    };
    return (separator(0) && separator(1)) || (path.size() > 1 && path[1] == u':' && separator(2));
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
    std::vector<std::u16string> arguments;
    size_t at = 0;
    while (true) {
        while (at < commandLine.size() && (commandLine[at] == u' ' || commandLine[at] == u'\t')) {
            ++at;
        }
        if (at == commandLine.size()) {
            return arguments;
        }
        std::u16string argument;
        bool quoted = false;
        for (; at < commandLine.size(); ++at) {
            const char16_t c = commandLine[at];
            if (!quoted && (c == u' ' || c == u'\t')) {
                break;
            }
            if (c == u'\\') {
                size_t count = 0;
                while (at < commandLine.size() && commandLine[at] == u'\\') {
                    ++count, ++at;
                }
                const bool beforeQuote = at < commandLine.size() && commandLine[at] == u'"';
                argument.append(beforeQuote ? count / 2 : count, u'\\');
                if (beforeQuote && count % 2 == 1) {
                    argument += u'"';
                } else {
                    --at;  // the quote, or the character after the backslashes, comes next
                }
            } else if (c == u'"') {
                quoted = !quoted;
            } else {
                argument += c;
            }
        }
        arguments.push_back(std::move(argument));
    }
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

namespace {

bool ValidControl(const SectionFacts& section) {
    const auto block = vcam::ReadControlBlock(section.bytes.data(), section.bytes.size());
    return block && block->valid;
}

// The control section the agent works on: the Global\ one before the Local\ one, as it opens
// them; but where one of two is of another release, the one the virtual camera stamps for this
// release, which the rule on the two sections names.
const SectionFacts& AgentControlSection(const DoctorFacts& facts) {
    const SectionFacts& global = facts.controlGlobal;
    const SectionFacts& local = facts.controlLocal;
    if (!global.bytes.empty() && !local.bytes.empty() && !ValidControl(global)) {
        return ValidControl(local) ? local : global;
    }
    if (!global.bytes.empty() || (!global.name.empty() && local.bytes.empty())) {
        return global;
    }
    return local.name.empty() ? facts.status.control : local;
}

// Whether `p` was started by `parent`: started by a process of that id in its session, no
// earlier than it (an older process cannot be its child: the id was another's then).
bool IsChildOf(const ProcessFacts& p, const ProcessFacts& parent) {
    return p.id != parent.id && p.parentId == parent.id && p.session == parent.session &&
           p.created >= parent.created;
}

}  // namespace

bool IsStartedByAgent(const DoctorFacts& facts, const ProcessFacts& process) {
    if (!facts.agent) {
        return false;
    }
    const ProcessFacts* p = &process;
    for (size_t hops = 0; hops <= facts.processes.size(); ++hops) {
        if (IsChildOf(*p, *facts.agent)) {
            return true;
        }
        const auto parent = std::find_if(facts.processes.begin(), facts.processes.end(),
                                         [&](const ProcessFacts& q) { return IsChildOf(*p, q); });
        if (parent == facts.processes.end()) {
            return false;
        }
        p = &*parent;
    }
    return false;
}

std::vector<Finding> Diagnose(const DoctorFacts& facts) {
    const StatusFacts& s = facts.status;
    const SectionFacts& control = AgentControlSection(facts);
    DoctorContext c{facts,   SettingsFromValues(s.raw, s.moduleFolder),
                    control, vcam::ReadControlBlock(control.bytes.data(), control.bytes.size()),
                    {},      {}};
    // The agent starts nothing but the producer.
    for (const ProcessFacts& p : facts.processes) {
        if (facts.agent && IsChildOf(p, *facts.agent)) {
            c.producer = p;
        }
    }
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
    FindPathProblems(c, findings);
    FindSectionProblems(c, findings);
    FindHeaderProblems(c, findings);
    FindTickProblems(c, findings);
    FindSettingProblems(c, findings);
    FindProducerProblems(c, findings);
    FindForeignProducers(c, findings);
    FindRestartLoop(c, findings);
    FindCameraProblems(c, findings);
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
