// The rules about the virtual camera's sections: whether the agent can open them, their headers,
// which of two holds the demand, and the ticks the virtual camera stamps.
#include "agent/agent_names.h"
#include "common/text.h"
#include "tools/ctl/doctor.h"

namespace orbelune {
namespace {

bool Valid(const SectionFacts& s) {
    return s.opened && !s.error && !s.samples.empty() && s.samples.front().control.valid;
}

ControlStatus Judged(const SectionFacts& s) {
    return JudgeControlBlock(s.samples.front().control, s.samples.front().now);
}

std::string HeaderEvidence(const SectionFacts& s) {
    return ToUtf8(s.name) + ": magic " + HexText(s.magic) + " version " + std::to_string(s.version);
}

// A header that differs from this agent's: the block counts as missing to the agent. With this
// release's block under the other name, `beside`, a program of another release holds this one.
void Header(const char* block, const SectionFacts& s, std::uint32_t magic, std::uint32_t version,
            std::vector<Finding>& findings, const SectionFacts* beside = nullptr) {
    if (s.magic == magic && s.version == version) {
        return;
    }
    Finding finding{
        "header-mismatch",
        std::string("the ") + block + " carries " +
            (s.magic != magic
                 ? "magic " + HexText(s.magic) + " where this agent expects " + HexText(magic)
                 : "version " + std::to_string(s.version) + " where this agent expects version " +
                       std::to_string(version)) +
            (beside ? ": a program of another release holds " + ToUtf8(s.name) +
                          ", which the agent takes before this release's " + ToUtf8(beside->name)
                    : std::string(": the virtual camera and the agent come from different "
                                  "releases")),
        {HeaderEvidence(s)},
        beside ? "end the programs of the other release that hold " + ToUtf8(s.name) +
                     " (the section goes with the last of them), then end " +
                     ToUtf8(kAgentExeName) + " and start it again"
               : std::string("install a virtual camera and an agent of the same release; until "
                             "then the agent treats the block as missing")};
    if (beside) {
        finding.evidence.push_back(HeaderEvidence(*beside));
    }
    findings.push_back(std::move(finding));
}

// Two control sections the agent would act on differently: one of another release beside this
// release's, or two of this release of which only one wants frames. The agent keeps the one it
// mapped at its start and takes the Global\ one at its next start.
void TwoControlSections(const DoctorContext& c, std::vector<Finding>& findings) {
    const SectionFacts& global = c.facts.control[0];
    const SectionFacts& local = c.facts.control[1];
    const std::string restart = "end " + ToUtf8(kAgentExeName) + " and start it again";
    if (Valid(global) != Valid(local)) {
        const SectionFacts& stale = Valid(global) ? local : global;
        const SectionFacts& good = Valid(global) ? global : local;
        if (Valid(global) && c.control == &good) {
            return;  // the agent works on the Global\ one, and takes it at every start
        }
        findings.push_back(
            {"stale-control-section",
             "a control section of another release, " + ToUtf8(stale.name) +
                 ", stands beside this release's " + ToUtf8(good.name) + ": " +
                 (Valid(global)        ? "an agent that mapped the Local\\ one at its start sees "
                                         "no demand until it restarts; it takes the Global\\ one "
                                         "at its next start"
                  : c.control == &good ? "the agent works on the Local\\ one now, but at its next "
                                         "start it takes the Global\\ one and sees no demand"
                                       : "if the agent mapped the Global\\ one at its start, it "
                                         "sees no demand now; and at its next start it takes the "
                                         "Global\\ one and sees no demand"),
             {HeaderEvidence(stale), HeaderEvidence(good)},
             "end the programs of the other release that hold " + ToUtf8(stale.name) +
                 " (the section goes with the last of them), then " + restart});
    } else if (Valid(global) && Judged(global).demand != Judged(local).demand &&
               !(c.control == &global && Judged(global).demand)) {
        // Demand where the agent does not look now, or will not after its next start.
        const bool inLocal = Judged(local).demand;
        const SectionFacts& wanting = inLocal ? local : global;
        std::vector<std::string> evidence;
        for (const SectionFacts* s : {&global, &local}) {
            evidence.push_back(ToUtf8(s->name) + ": " +
                               TickText("demandTick", Judged(*s).demandTick) + ", " +
                               TickText("consumerStartTick", Judged(*s).consumerStartTick));
        }
        // The agent holds the section it works on open itself, so a restart comes first.
        const std::string holder =
            "end the program that holds " + ToUtf8(global.name) + " without stamping it";
        findings.push_back(
            {"demand-in-other-section",
             "the virtual camera wants frames in " + ToUtf8(wanting.name) + ", but not in " +
                 ToUtf8((inLocal ? global : local).name) +
                 (inLocal ? ", which the agent takes at every start" : ", where the agent works") +
                 (c.control == &wanting ? ": it sees the demand now, but not after its next start"
                                        : ": it sees no demand"),
             evidence,
             !inLocal ? restart + ", so that it takes " + ToUtf8(global.name)
             : c.control == &global
                 ? restart + "; if " + ToUtf8(global.name) + " is still there then, " + holder +
                       " and restart the agent once more"
                 : "a virtual camera stamps one namespace: " + holder + ", then " + restart});
    }
}

}  // namespace

void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    std::vector<std::string> missing;
    for (const BlockSections& block : kBlockSections) {
        bool found = false;
        for (const SectionFacts& s : f.*block.sections) {
            // Windows' answer to the agent's open: 2 no such section, 5 not allowed, 6 a name
            // held by another kind of object; or, after an open, the map's failure.
            const std::uint32_t error = s.error ? s.error->code : 0;
            found = found || error != 2;
            const std::string name = ToUtf8(s.name);
            if (s.opened && s.error) {
                findings.push_back({"section-too-small",
                                    "the virtual camera's section " + ToUtf8(s.name) +
                                        " is smaller than this agent's block of " +
                                        std::to_string(block.size) +
                                        " bytes: the two come from different releases",
                                    {"it cannot be mapped at " + std::to_string(block.size) +
                                     " bytes: " + ToUtf8(s.error->text)},
                                    "install a virtual camera and an agent of the same release"});
            } else if (error != 0 && error != 2) {
                findings.push_back(
                    {"section-not-opened",
                     error == 5 ? "the agent may not open the virtual camera's section " + name +
                                      ": its security leaves this user out"
                     : error == 6 ? "the name " + name +
                                        " belongs to another kind of object than a section, so "
                                        "the virtual camera cannot make it"
                                  : "the virtual camera's section " + name + " cannot be opened",
                     {"OpenFileMappingW with read and write access: " + ToUtf8(s.error->text)},
                     error == 5   ? "the virtual camera must make its sections so that every "
                                    "signed-in user may read and write them; update it"
                     : error == 6 ? "end the program that holds an object of that name, then "
                                    "start the virtual camera again"
                                  : "reinstall the virtual camera"});
            }
        }
        if (!found) {
            missing.push_back("no section Global\\ or Local\\" +
                              ToUtf8(std::wstring_view(block.name)));
        }
    }
    if (!missing.empty()) {
        findings.push_back({"sections-missing",
                            missing.size() == std::size(kBlockSections)
                                ? "the virtual camera's sections are missing: the virtual camera "
                                  "is not running"
                                : "some of the virtual camera's sections are missing",
                            missing,
                            "open the Orbelune camera in an application so that the virtual "
                            "camera starts; if its sections still do not appear, reinstall it"});
    }
    const bool both = !f.control[0].error && !f.control[1].error;
    if (both && (Valid(f.control[0]) || Valid(f.control[1]))) {
        TwoControlSections(c, findings);
    } else if (c.control) {
        Header("control block", *c.control, vcam::kControlMagic, vcam::kControlVersion, findings);
    }
    if (const SectionFacts* consumers = AgentSection(f.consumers)) {
        const SectionFacts& local = f.consumers[1];
        Header("consumers block", *consumers, vcam::kConsumersMagic, vcam::kConsumersVersion,
               findings, consumers != &local && IsStampedConsumers(local) ? &local : nullptr);
    }
}

void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    if (!c.control || !Valid(*c.control)) {
        return;
    }
    const ControlStatus& s = c.status;
    std::vector<std::string> future;
    for (const auto& [name, tick] : {std::pair{"demandTick", &s.demandTick},
                                     {"consumerStartTick", &s.consumerStartTick},
                                     {"consumerHeartbeatTick", &s.consumerHeartbeatTick}}) {
        if (tick->ageMs < 0) {
            future.push_back(TickText(name, *tick) + " against this machine's GetTickCount64 " +
                             std::to_string(c.control->samples.front().now));
        }
    }
    const auto ticks = [](const char* when, const ControlStatus& s) {
        return std::string(when) + TickText("demandTick", s.demandTick) + ", " +
               TickText("consumerHeartbeatTick", s.consumerHeartbeatTick);
    };
    if (!future.empty()) {
        findings.push_back({"tick-in-future",
                            "the virtual camera stamps ticks in the future: it writes another "
                            "clock than GetTickCount64",
                            future,
                            "the virtual camera must stamp GetTickCount64 milliseconds; until "
                            "then the agent counts those ticks as never fresh"});
    } else if (Moved(*c.control) && !EverFresh(*c.control)) {
        const Sample& last = c.control->samples.back();
        findings.push_back({"ticks-never-fresh",
                            "the virtual camera stamps its ticks, but none is ever fresh: it "
                            "writes another clock than GetTickCount64, or stamps it late",
                            {ticks("first seen: ", s),
                             ticks("last seen: ", JudgeControlBlock(last.control, last.now))},
                            "the virtual camera must stamp GetTickCount64 milliseconds as it "
                            "reads them; until then the agent sees no demand"});
    } else if (s.consumerPresent && !s.demand) {
        findings.push_back(
            {"heartbeat-without-demand",
             "the virtual camera shows a consumer but asks for no frames: a defect of the "
             "virtual camera, which must keep demandTick fresh while a consumer wants frames",
             {TickText("consumerHeartbeatTick", s.consumerHeartbeatTick),
              TickText("demandTick", s.demandTick),
              TickText("consumerStartTick", s.consumerStartTick)},
             "report it to the virtual camera's makers; closing and reopening the camera in the "
             "application may bring demand back"});
    }
}

}  // namespace orbelune
