// The rules about the virtual camera's side: its sections and their headers and ticks, the
// producer that demand should have started.
#include <algorithm>

#include "common/path.h"
#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

constexpr int kRestartLoopExits = 3;  // exits in the last minute that make a loop

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

std::string TickEvidence(const char* name, const TickReading& tick) {
    return std::string(name) + " " + std::to_string(tick.value) +
           (tick.value == 0 ? std::string(" (never)")
                            : ", " + std::to_string(tick.ageMs) + " ms old");
}

std::optional<vcam::ControlReading> ReadSection(const SectionFacts& section) {
    return vcam::ReadControlBlock(section.bytes.data(), section.bytes.size());
}

// Two control sections, one of this release and one of another: the agent keeps the one it
// mapped at its start, valid or not, and takes the Global\ one at its next start.
void StaleControlSection(const DoctorContext& c, const vcam::ControlReading& global,
                         std::vector<Finding>& findings) {
    const SectionFacts& stale = global.valid ? c.facts.controlLocal : c.facts.controlGlobal;
    const SectionFacts& good = global.valid ? c.facts.controlGlobal : c.facts.controlLocal;
    const auto block = *ReadSection(stale);
    // Evidence that the agent works on the good one now: the producer it started while the
    // good one shows demand, or its consumers stamps in the good one's namespace.
    const std::u16string_view goodPrefix = global.valid ? u"Global\\" : u"Local\\";
    const bool worksOnGood =
        (c.producer && c.control && JudgeControlBlock(*c.control, c.facts.status.now).demand) ||
        (c.facts.progress.advanced && c.facts.progress.section.starts_with(goodPrefix));
    std::string effect;
    if (global.valid) {
        if (worksOnGood) {
            return;  // the agent works on the Global\\ one, and takes it at every start
        }
        effect =
            "an agent that mapped the Local\\ one at its start sees no demand until it "
            "restarts; it takes the Global\\ one at its next start";
    } else {
        effect = (worksOnGood ? std::string("the agent works on the Local\\ one now, but")
                              : std::string("if the agent mapped the Global\\ one at its start, it "
                                            "sees no demand now; and")) +
                 " at its next start it takes the Global\\ one and sees no demand";
    }
    findings.push_back({"stale-control-section",
                        "a control section of another release, " + Utf8(stale.name) +
                            ", stands beside this release's " + Utf8(good.name) + ": " + effect,
                        {Utf8(stale.name) + ": magic " + Hex32(block.magic) + " version " +
                             std::to_string(block.version),
                         Utf8(good.name) + ": magic " + Hex32(vcam::kControlMagic) + " version " +
                             std::to_string(vcam::kControlVersion)},
                        "end the programs of the other release that hold " + Utf8(stale.name) +
                            " (the section goes with the last of them), then end " +
                            Utf8(kAgentExeName) + " and start it again"});
}

}  // namespace

void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    const struct {
        const wchar_t* name;
        const std::u16string& found;
        bool mapped;
        std::size_t size;
    } kSections[] = {
        {vcam::kControlSectionName, c.controlSection.name, !c.controlSection.bytes.empty(),
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

void FindHeaderProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    const auto global = ReadSection(c.facts.controlGlobal);
    const auto local = ReadSection(c.facts.controlLocal);
    if (global && local && global->valid != local->valid) {
        StaleControlSection(c, *global, findings);
    } else if (c.control) {
        Header("control block", c.controlSection.name, c.control->magic, c.control->version,
               vcam::kControlMagic, vcam::kControlVersion, findings);
    }
    if (s.consumers.reading) {
        Header("consumers block", s.consumers.name, s.consumers.reading->magic,
               s.consumers.reading->version, vcam::kConsumersMagic, vcam::kConsumersVersion,
               findings);
    }
}

void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    if (!c.control || !c.control->valid) {
        return;
    }
    const std::uint64_t now = c.facts.status.now;
    const ControlStatus status = JudgeControlBlock(*c.control, now);
    std::vector<std::string> evidence;
    for (const auto& [name, tick] : {std::pair{"demandTick", &status.demandTick},
                                     {"consumerStartTick", &status.consumerStartTick},
                                     {"consumerHeartbeatTick", &status.consumerHeartbeatTick}}) {
        if (tick->value > now) {
            evidence.push_back(std::string(name) + " " + std::to_string(tick->value) + " is " +
                               std::to_string(tick->value - now) +
                               " ms ahead of this machine's GetTickCount64 (" +
                               std::to_string(now) + ")");
        }
    }
    if (!evidence.empty()) {
        findings.push_back({"tick-in-future",
                            "the virtual camera stamps ticks in the future: it writes another "
                            "clock than GetTickCount64",
                            evidence,
                            "the virtual camera must stamp GetTickCount64 milliseconds; until "
                            "then the agent counts those ticks as never fresh"});
    } else if (status.consumerPresent && !status.demand) {
        findings.push_back(
            {"heartbeat-without-demand",
             "the virtual camera shows a consumer but asks for no frames: a defect of the "
             "virtual camera, which must keep demandTick fresh while a consumer wants frames",
             {TickEvidence("consumerHeartbeatTick", status.consumerHeartbeatTick),
              TickEvidence("demandTick", status.demandTick),
              TickEvidence("consumerStartTick", status.consumerStartTick)},
             "report it to the virtual camera's makers; closing and reopening the camera in the "
             "application may bring demand back"});
    }
}

// What keeps the agent from running its producer: now, when frames are wanted and none of its
// own runs, or at its next start, whatever the demand.
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    std::optional<ControlStatus> status;
    if (c.control) {
        status = JudgeControlBlock(*c.control, s.now);
    }
    const bool wanted = status && status->demand && c.settings.enabled && !c.producer;
    // A relative ProducerExe is its own finding: whether something is there depends on the
    // agent's current folder, not on this tool's.
    const bool absolute = IsAbsolutePath(c.settings.producerExe);
    const std::optional<std::string> failed = LastRecentFailure(c, "failed to start producer: ");
    const std::optional<std::string> notFound = LastRecentFailure(c, "producer exe not found: ");
    Finding finding{"producer-not-running",
                    "",
                    {},
                    "look at the last lines of the log "
                    "(orbelune_vcam_ctl status)"};
    std::string why;
    if (absolute && !c.facts.producerExists) {
        finding.kind = "producer-missing";
        why = "ProducerExe is not there";
        finding.action =
            "install the producer there, or point ProducerExe at it: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (absolute && c.facts.producerHead != "MZ") {
        finding.kind = "producer-not-a-program";
        why = "ProducerExe is not a program";
        finding.action =
            "point ProducerExe at the producer's program: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (failed) {
        finding.kind = "producer-start-failed";
        why = "the agent cannot start it";
        finding.action = "mend what the error in the log line names";
    } else if (!wanted) {
        return;
    } else if (const std::u16string& name = c.controlSection.name;
               c.facts.progress.advanced && !name.empty() &&
               !c.facts.progress.section.starts_with(name.substr(0, name.find(u'\\') + 1))) {
        // The agent stamps the consumers block under the other namespace: it mapped its
        // sections there, before the virtual camera made the ones it stamps now.
        finding.kind = "agent-on-other-sections";
        why = "the agent works on the sections under the other namespace";
        finding.evidence.push_back("the agent stamps " + Utf8(c.facts.progress.section));
        finding.action = "end " + Utf8(kAgentExeName) +
                         " and start it again, so that it maps the sections that are there now";
    }
    if (wanted) {
        const TickReading& latest = status->demandTick.value >= status->consumerStartTick.value
                                        ? status->demandTick
                                        : status->consumerStartTick;
        finding.problem = "frames are wanted but no producer runs";
        finding.evidence.push_back(TickEvidence(
            &latest == &status->demandTick ? "demandTick" : "consumerStartTick", latest));
    } else {
        finding.problem = "the agent cannot start the producer at the next demand";
    }
    if (!why.empty()) {
        finding.problem += ": " + why;
    }
    finding.evidence.push_back("ProducerExe = " + Utf8(c.settings.producerExe));
    for (const auto& line : {failed, notFound}) {
        if (line) {
            finding.evidence.push_back("log: " + *line);
        }
    }
    findings.push_back(std::move(finding));
}

// Producers in this session that the agent did not start: the agent neither watches nor stops
// them, and starts its own beside them.
void FindForeignProducers(const DoctorContext& c, std::vector<Finding>& findings) {
    const std::u16string& full = c.facts.producerFullPath;
    const std::u16string image =
        ToLowerUnits(FileNameOfPath(full.empty() ? c.settings.producerExe : full));
    std::vector<std::string> evidence;
    std::string pids;
    for (const ProcessFacts& p : c.facts.processes) {
        if (p.session == c.facts.session && ToLowerUnits(p.image) == image &&
            !IsStartedByAgent(c.facts, p)) {
            evidence.push_back(Utf8(p.image) + ": process id " + std::to_string(p.id) +
                               ", started by process id " + std::to_string(p.parentId));
            pids += " /pid " + std::to_string(p.id);
        }
    }
    if (!evidence.empty()) {
        findings.push_back({"producer-not-from-agent",
                            "a producer runs that the agent did not start: the agent neither "
                            "watches nor stops it, and starts its own beside it",
                            evidence,
                            "end it (taskkill /f" + pids +
                                "); the agent starts the producer itself when frames are wanted"});
    }
}

void FindRestartLoop(const DoctorContext& c, std::vector<Finding>& findings) {
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

}  // namespace orbelune
