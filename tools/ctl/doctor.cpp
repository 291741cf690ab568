#include "tools/ctl/doctor.h"

#include <algorithm>

#include "agent/agent_win.h"
#include "common/path.h"
#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/report/json_writer.h"

namespace orbelune {
namespace {

constexpr std::int64_t kLogWindowSeconds = 60;  // "recent" in the log: the last minute
constexpr size_t kLogLinesRead = 500;
constexpr int kRestartLoopExits = 3;  // exits in the last minute that make a loop
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;

std::string Utf8(std::wstring_view ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// The facts the rules look at, worked out once.
struct Context {
    const DoctorFacts& facts;
    AgentSettings settings;
    std::optional<vcam::ControlReading> control;
    std::vector<std::string> recentLines;  // the log's lines of the last minute, oldest first
};

std::string RunKeyPath(bool machine) {
    return std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + Utf8(kRunKey) +
           "\\" + Utf8(kRunValueName);
}

std::string SettingPath(Setting setting) {
    return "HKEY_CURRENT_USER\\" + Utf8(kSettingsKey) + "\\" + Utf8(RowOf(setting).name);
}

// The last recent line that starts with `message`, or nothing.
std::optional<std::string> LastRecentLine(const Context& c, std::string_view message) {
    for (auto line = c.recentLines.rbegin(); line != c.recentLines.rend(); ++line) {
        if (line->size() > 20 && std::string_view(*line).substr(20).starts_with(message)) {
            return *line;
        }
    }
    return std::nullopt;
}

void AgentAndLogonEntries(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!s.agentRunning) {
        findings.push_back(
            {"agent-not-running",
             "no agent runs in this session",
             {"no mutex " + Utf8(std::wstring_view(kSingletonMutexName)) + " in this session"},
             "start " + Utf8(kAgentExeName) +
                 "; with a logon entry it starts by itself at every logon"});
    }
    if (!s.logonEntry && !s.machineLogonEntry) {
        findings.push_back({"no-logon-entry",
                            "the agent does not start at logon: neither logon entry exists",
                            {"no value " + RunKeyPath(false), "no value " + RunKeyPath(true)},
                            "install the MSI (for every user), or run `orbelune_vcam_ctl install` "
                            "beside the agent (for this user)"});
    }
    for (const bool machine : {false, true}) {
        const std::optional<std::u16string>& entry = machine ? s.machineLogonEntry : s.logonEntry;
        if (!entry) {
            continue;
        }
        const std::string whose = machine ? "for all users" : "for this user";
        const std::string evidence = RunKeyPath(machine) + " = " + Utf8(*entry);
        const std::u16string program = LogonEntryProgram(*entry);
        const bool exists =
            machine ? c.facts.machineLogonEntryProgramExists : c.facts.logonEntryProgramExists;
        const auto running = [&](const std::u16string& path) {
            return ToLowerUnits(path) == ToLowerUnits(program);
        };
        if (!exists) {
            findings.push_back({"logon-entry-missing-program",
                                "the logon entry " + whose + " starts a program that is not there",
                                {evidence},
                                machine ? "repair or reinstall the MSI"
                                        : "run `orbelune_vcam_ctl install` beside the agent, or "
                                          "`orbelune_vcam_ctl uninstall` to remove the entry"});
        } else if (!c.facts.agentPaths.empty() &&
                   std::none_of(c.facts.agentPaths.begin(), c.facts.agentPaths.end(), running)) {
            findings.push_back({"logon-entry-other-copy",
                                "the logon entry " + whose +
                                    " starts another copy of the agent than the one running",
                                {evidence, "running: " + Utf8(c.facts.agentPaths.front())},
                                "keep one copy: run `orbelune_vcam_ctl install` beside the copy "
                                "to keep, or remove the other"});
        }
    }
}

void Sections(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    const struct {
        const wchar_t* name;
        const std::u16string& found;
        bool mapped;
        std::size_t size;
    } kSections[] = {
        {vcam::kControlSectionName, s.control.name, !s.control.bytes.empty(),
         vcam::kControlBlockSize},
        {vcam::kCapabilitiesSectionName, s.capabilities.name, s.capabilities.reading.has_value(),
         vcam::kCapabilitiesBlockSize},
        {vcam::kConsumersSectionName, s.consumers.name, s.consumers.reading.has_value(),
         vcam::kConsumersBlockSize},
    };
    std::vector<std::string> missing;
    for (const auto& section : kSections) {
        if (section.found.empty()) {
            missing.push_back("no section Global\\ or Local\\" +
                              Utf8(std::wstring_view(section.name)));
        } else if (!section.mapped) {
            findings.push_back(
                {"section-too-small",
                 "the virtual camera's section " + Utf8(section.found) +
                     " is smaller than this agent's block of " + std::to_string(section.size) +
                     " bytes: the two come from different releases",
                 {"it cannot be mapped at " + std::to_string(section.size) + " bytes"},
                 "install a virtual camera and an agent of the same release"});
        }
    }
    if (!missing.empty()) {
        findings.push_back({"sections-missing",
                            missing.size() == std::size(kSections)
                                ? "the virtual camera's sections are missing: the virtual camera "
                                  "is not running"
                                : "some of the virtual camera's sections are missing",
                            missing,
                            "open the Orbelune camera in an application so that the virtual "
                            "camera starts; if its sections still do not appear, reinstall it"});
    }
}

std::string Hex32(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
    return text;
}

// A header that differs from this agent's: the block counts as missing to the agent.
void Header(const char* block, const std::u16string& section, std::uint32_t magic,
            std::uint32_t version, std::uint32_t expectedMagic, std::uint32_t expectedVersion,
            std::vector<Finding>& findings) {
    if (magic == expectedMagic && version == expectedVersion) {
        return;
    }
    const std::string carries =
        magic != expectedMagic
            ? "magic " + Hex32(magic) + " where this agent expects " + Hex32(expectedMagic)
            : "version " + std::to_string(version) + " where this agent expects version " +
                  std::to_string(expectedVersion);
    findings.push_back(
        {"header-mismatch",
         std::string("the ") + block + " carries " + carries +
             ": the virtual camera and the agent come from different releases",
         {Utf8(section) + ": magic " + Hex32(magic) + " version " + std::to_string(version)},
         "install a virtual camera and an agent of the same release; until then "
         "the agent treats the block as missing"});
}

void Headers(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (c.control) {
        Header("control block", s.control.name, c.control->magic, c.control->version,
               vcam::kControlMagic, vcam::kControlVersion, findings);
    }
    if (s.consumers.reading) {
        Header("consumers block", s.consumers.name, s.consumers.reading->magic,
               s.consumers.reading->version, vcam::kConsumersMagic, vcam::kConsumersVersion,
               findings);
    }
}

std::string TickEvidence(const char* name, const TickReading& tick) {
    return std::string(name) + " " + std::to_string(tick.value) + ", " +
           std::to_string(tick.ageMs) + " ms old";
}

// Frames are wanted and the agent may start a producer, but none runs: why, if the facts say.
void Producer(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!c.control || !c.settings.enabled || !s.producerIds.empty()) {
        return;
    }
    const ControlStatus status = JudgeControlBlock(*c.control, s.now);
    if (!status.demand) {
        return;
    }
    const TickReading& latest = status.demandTick.value >= status.consumerStartTick.value
                                    ? status.demandTick
                                    : status.consumerStartTick;
    Finding finding{
        "producer-not-running",
        "frames are wanted but no producer runs",
        {TickEvidence(&latest == &status.demandTick ? "demandTick" : "consumerStartTick", latest),
         "ProducerExe = " + Utf8(c.settings.producerExe)},
        "look at the last lines of the log (orbelune_vcam_ctl status)"};
    const std::optional<std::string> failed = LastRecentLine(c, "failed to start producer: ");
    if (!c.facts.producerExists) {
        finding.kind = "producer-missing";
        finding.problem += ": ProducerExe is not there";
        finding.action =
            "install the producer there, or point ProducerExe at it: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (c.facts.producerHead != "MZ") {
        finding.kind = "producer-not-a-program";
        finding.problem += ": ProducerExe is not a program";
        finding.action =
            "point ProducerExe at the producer's program: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (failed) {
        finding.kind = "producer-start-failed";
        finding.problem += ": the agent cannot start it";
        finding.action = "mend what the error in the log line names";
    }
    if (failed) {
        finding.evidence.push_back("log: " + *failed);
    }
    findings.push_back(std::move(finding));
}

void RestartLoop(const Context& c, std::vector<Finding>& findings) {
    const auto exits =
        std::count_if(c.recentLines.begin(), c.recentLines.end(), [](const std::string& line) {
            return std::string_view(line).substr(std::min<size_t>(line.size(), 20)) ==
                   "producer exited unexpectedly";
        });
    if (exits < kRestartLoopExits) {
        return;
    }
    Finding finding{"producer-restarting",
                    "the producer restarts in a loop: it exited " + std::to_string(exits) +
                        " times in the last minute",
                    {"log: " + *LastRecentLine(c, "producer exited unexpectedly")},
                    "the producer ends by itself soon after each start: start it by hand with "
                    "the command line the agent uses to see why"};
    if (const auto started = LastRecentLine(c, "producer started (")) {
        finding.evidence.push_back("log: " + *started);
    }
    findings.push_back(std::move(finding));
}

void Settings(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!c.settings.enabled) {
        findings.push_back({"disabled",
                            "the agent is disabled: Enabled is 0, so it starts no producer",
                            {SettingPath(Setting::kEnabled) + " = 0"},
                            "orbelune_vcam_ctl set Enabled 1"});
    }
    for (size_t i = 0; i < kSettingCount; ++i) {
        const RawSetting::Outcome outcome = s.raw[i].outcome;
        if (outcome == RawSetting::Outcome::kMissing || outcome == RawSetting::Outcome::kValue) {
            continue;
        }
        const auto setting = static_cast<Setting>(i);
        const SettingRow& row = RowOf(setting);
        const std::string why =
            outcome == RawSetting::Outcome::kOtherType
                ? std::string("is stored as another type than ") +
                      (IsNumberKind(row.kind) ? "REG_DWORD" : "REG_SZ")
            : outcome == RawSetting::Outcome::kTooLong
                ? "is longer than " + std::to_string(kMaxSettingLength) + " characters"
                : "cannot be read";
        std::string problem = "the setting " + Utf8(row.name) + " " + why;
        problem += "; the agent uses its default, ";
        problem += Utf8(SettingText(row.kind, ResolveSetting(s.raw, setting, s.moduleFolder)));
        findings.push_back({"setting-ignored",
                            problem,
                            {SettingPath(setting)},
                            "orbelune_vcam_ctl set " + Utf8(row.name) +
                                " VALUE stores it as the agent reads it; orbelune_vcam_ctl unset " +
                                Utf8(row.name) + " removes it"});
    }
    if (c.settings.cameraIndex < 0) {
        findings.push_back(
            {"negative-camera-index",
             "CameraIndex is negative: the agent publishes only the 1280x720 fallback format "
             "and hands " +
                 std::to_string(c.settings.cameraIndex) + " to the producer",
             {SettingPath(Setting::kCameraIndex) + " = " + std::to_string(c.settings.cameraIndex)},
             "orbelune_vcam_ctl set CameraIndex 0 (or the index of the camera to use)"});
    }
}

void FutureTicks(const Context& c, std::vector<Finding>& findings) {
    if (!c.control || !c.control->valid) {
        return;
    }
    const ControlStatus status = JudgeControlBlock(*c.control, c.facts.status.now);
    std::vector<std::string> evidence;
    for (const auto& [name, tick] : {std::pair{"demandTick", &status.demandTick},
                                     {"consumerStartTick", &status.consumerStartTick},
                                     {"consumerHeartbeatTick", &status.consumerHeartbeatTick}}) {
        if (tick->value != 0 && tick->ageMs < 0) {
            evidence.push_back(std::string(name) + " " + std::to_string(tick->value) + " is " +
                               std::to_string(-tick->ageMs) +
                               " ms ahead of this machine's GetTickCount64 (" +
                               std::to_string(c.facts.status.now) + ")");
        }
    }
    if (!evidence.empty()) {
        findings.push_back({"tick-in-future",
                            "the virtual camera stamps ticks in the future: it writes another "
                            "clock than GetTickCount64",
                            evidence,
                            "the virtual camera must stamp GetTickCount64 milliseconds; until "
                            "then the agent sees no demand and no consumer"});
    }
}

// Whether the agent's last publication of formats was the fallback, by the log when it has
// the publication: the last capabilities line before the last "published" one.
bool PublishedFallback(const DoctorFacts& facts) {
    constexpr std::string_view kFallback = "camera capability enumeration failed/empty";
    constexpr std::string_view kPublished = "published ";
    if (!facts.status.logBytes) {
        return true;
    }
    bool seenPublication = false;
    const std::vector<std::string> lines = LastLines(*facts.status.logBytes, kLogLinesRead);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string_view message =
            std::string_view(*line).substr(std::min<size_t>(line->size(), 20));
        if (message.starts_with(kPublished) && message.ends_with("camera capability tuple(s)")) {
            if (seenPublication) {
                return false;
            }
            seenPublication = true;
        } else if (message.starts_with(kFallback)) {
            return seenPublication;
        }
    }
    return !seenPublication;
}

// The formats published are the fallback while a camera is there to give better ones. (With
// no camera at all the fallback is all there is, and no setting changes that.)
void Capabilities(const Context& c, std::vector<Finding>& findings) {
    const auto& block = c.facts.status.capabilities.reading;
    const vcam::CameraCapability fallback = {1280, 720, 30, 1};
    if (!block || !block->valid || block->entries != std::vector{fallback} ||
        c.settings.cameraIndex < 0 || !c.facts.cameraCount || *c.facts.cameraCount == 0 ||
        !PublishedFallback(c.facts)) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(c.settings.cameraIndex);
    const std::string cameras =
        std::to_string(*c.facts.cameraCount) + (*c.facts.cameraCount == 1 ? " camera" : " cameras");
    Finding finding{
        "capabilities-fallback",
        "the virtual camera was given only the 1280x720 fallback format",
        {"capabilities block: count 1, [0] 1280x720@30/1",
         "CameraIndex = " + std::to_string(index) + "; Media Foundation lists " + cameras},
        {}};
    if (index >= *c.facts.cameraCount) {
        finding.problem += ": CameraIndex is out of range";
        finding.action = "orbelune_vcam_ctl set CameraIndex 0 (the first of the " + cameras + ")";
    } else {
        finding.problem +=
            ": the camera gave no formats when the agent published (missing or busy)";
        finding.action =
            "close other programs that use the camera, then restart the agent; it "
            "publishes the formats only at its start and when CameraIndex changes";
    }
    findings.push_back(std::move(finding));
}

void Log(const Context& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (ToLowerUnits(s.logPath) != ToLowerUnits(c.facts.expectedLogPath)) {
        findings.push_back(
            {"log-fallback",
             "the log has fallen back to another folder",
             {"expected: " + (c.facts.expectedLogPath.empty()
                                  ? std::string("the ProgramData known folder cannot be had")
                                  : Utf8(c.facts.expectedLogPath)),
              "the agent writes: " + Utf8(s.logPath)},
             "check that the ProgramData folder exists and is readable"});
    }
    const std::optional<std::uint32_t> error = c.facts.logOpenError;
    const bool missing = error == kErrorFileNotFound || error == kErrorPathNotFound;
    if (error && (!missing || s.agentRunning)) {
        findings.push_back({"log-not-writable",
                            "the log cannot be written where it should be",
                            {Utf8(s.logPath) + ": " + Utf8(c.facts.logOpenErrorText)},
                            "let the agent's users create and write " +
                                Utf8(FolderOfPath(s.logPath)) +
                                ", or end the program that holds the file"});
    }
}

}  // namespace

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
    Context c{facts,
              SettingsFromValues(s.raw, s.moduleFolder),
              vcam::ReadControlBlock(s.control.bytes.data(), s.control.bytes.size()),
              {}};
    if (s.logBytes) {
        for (std::string& line : LastLines(*s.logBytes, kLogLinesRead)) {
            const std::optional<std::int64_t> at = LogLineSeconds(line);
            if (at && *at > facts.localNowSeconds - kLogWindowSeconds) {
                c.recentLines.push_back(std::move(line));
            }
        }
    }
    std::vector<Finding> findings;
    AgentAndLogonEntries(c, findings);
    Sections(c, findings);
    Headers(c, findings);
    FutureTicks(c, findings);
    Settings(c, findings);
    Producer(c, findings);
    RestartLoop(c, findings);
    Capabilities(c, findings);
    Log(c, findings);
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
