// The rules about the virtual camera's sections: whether they are there at the agent's sizes,
// their headers, and the ticks the virtual camera stamps.
#include "common/text.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

// "NAME: magic M version V", as a section's header reads.
std::string HeaderEvidence(const std::u16string& section, std::uint32_t magic,
                           std::uint32_t version) {
    return ToUtf8(section) + ": magic " + HexText(magic) + " version " + std::to_string(version);
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
            ? "magic " + HexText(magic) + " where this agent expects " + HexText(expectedMagic)
            : "version " + std::to_string(version) + " where this agent expects version " +
                  std::to_string(expectedVersion);
    findings.push_back({"header-mismatch",
                        std::string("the ") + block + " carries " + carries +
                            ": the virtual camera and the agent come from different releases",
                        {HeaderEvidence(section, magic, version)},
                        "install a virtual camera and an agent of the same release; until then "
                        "the agent treats the block as missing"});
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
                        "a control section of another release, " + ToUtf8(stale.name) +
                            ", stands beside this release's " + ToUtf8(good.name) + ": " + effect,
                        {HeaderEvidence(stale.name, block.magic, block.version),
                         HeaderEvidence(good.name, vcam::kControlMagic, vcam::kControlVersion)},
                        "end the programs of the other release that hold " + ToUtf8(stale.name) +
                            " (the section goes with the last of them), then end " +
                            ToUtf8(kAgentExeName) + " and start it again"});
}

}  // namespace

std::string TickEvidence(const char* name, const TickReading& tick) {
    return std::string(name) + " " + std::to_string(tick.value) +
           (tick.value == 0 ? std::string(" (never)")
                            : ", " + std::to_string(tick.ageMs) + " ms old");
}

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
                              ToUtf8(std::wstring_view(section.name)));
        } else if (!section.mapped) {
            findings.push_back(
                {"section-too-small",
                 "the virtual camera's section " + ToUtf8(section.found) +
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

}  // namespace orbelune
