// The rules about the virtual camera's sections: opening them, their headers, their ticks.
#include "agent/agent_names.h"
#include "common/text.h"
#include "tools/ctl/doctor.h"

namespace orbelune {
namespace {

bool Valid(const SectionFacts& s) {
    return s.opened && !s.error && !s.samples.empty() && s.samples.front().control.valid;
}

std::string HeaderText(std::uint32_t magic, std::uint32_t version) {
    return "magic " + HexText(magic) + " version " + std::to_string(version);
}

std::string HeaderEvidence(const SectionFacts& s) {
    return ToUtf8(s.name) + ": " + HeaderText(s.magic, s.version);
}

// What to do when programs of another release hold `s`.
std::string EndHolders(const SectionFacts& s) {
    return "end " + ToUtf8(kAgentExeName) + " and the programs of the other release that hold " +
           ToUtf8(s.name) + " (the section goes with the last of them), then start the agent again";
}

// A header that differs from this agent's: the block counts as missing to the agent. With this
// release's block under the other name, `beside`, a program of another release holds this one.
void Header(const char* block, const SectionFacts& s, std::uint32_t magic, std::uint32_t version,
            std::vector<Finding>& findings, const SectionFacts* beside = nullptr) {
    if (s.magic == magic && s.version == version) {
        return;
    }
    findings.push_back(
        {"header-mismatch",
         std::string("the ") + block + " carries " + HeaderText(s.magic, s.version) +
             " where this agent expects " + HeaderText(magic, version) +
             (beside ? ": a program of another release holds " + ToUtf8(s.name) +
                           ", which the agent takes before this release's " + ToUtf8(beside->name)
                     : ": the virtual camera and the agent come from different releases"),
         beside ? std::vector{HeaderEvidence(s), HeaderEvidence(*beside)}
                : std::vector{HeaderEvidence(s)},
         beside ? EndHolders(s)
                : std::string("install a virtual camera and an agent of the same release; until "
                              "then the agent treats the block as missing")});
}

// Two control sections the agent would act on differently: another release's beside this one's,
// or one alone wanting frames. The agent keeps the one it mapped, and takes Global\ when it starts.
void TwoControlSections(const DoctorContext& c, std::vector<Finding>& findings) {
    const auto& [global, local] = c.facts.control;
    // Where the agent works on a valid Global\ one, it takes that one at every start too.
    if (Valid(global) != Valid(local) && !(Valid(global) && c.control == &global)) {
        const SectionFacts& stale = Valid(global) ? local : global;
        const SectionFacts& good = Valid(global) ? global : local;
        findings.push_back(
            {"stale-control-section",
             "a control section of another release, " + ToUtf8(stale.name) +
                 ", stands beside this release's " + ToUtf8(good.name) +
                 ": the agent sees no demand while it works on the former, which it does " +
                 (Valid(global)        ? "now, until its next start"
                  : c.control == &good ? "from its next start on"
                                       : "from its next start on, and maybe now"),
             {HeaderEvidence(stale), HeaderEvidence(good)},
             EndHolders(stale)});
    } else if (Valid(global) && Valid(local) && Judged(global).demand != Judged(local).demand &&
               !(c.control == &global && Judged(global).demand)) {
        // Demand where the agent does not look now, or will not after its next start. The agent
        // holds the section it works on open itself, so the advice ends it before the others.
        const SectionFacts& wanting = Judged(local).demand ? local : global;
        findings.push_back(
            {"demand-in-other-section",
             "the virtual camera wants frames in " + ToUtf8(wanting.name) +
                 " alone; the agent works on " + ToUtf8(c.control->name) + " now and takes " +
                 ToUtf8(global.name) + " at its next start",
             {ToUtf8(global.name) + ": " + TicksText(Judged(global)),
              ToUtf8(local.name) + ": " + TicksText(Judged(local))},
             &wanting == &global
                 ? "end " + ToUtf8(kAgentExeName) + " and start it again, so that it takes " +
                       ToUtf8(global.name)
                 : "end " + ToUtf8(kAgentExeName) + "; if " + ToUtf8(global.name) +
                       " is still there, end the program that holds it without stamping it; "
                       "then start the agent again"});
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
            if (s.opened && s.error) {
                findings.push_back({"section-too-small",
                                    "the virtual camera's section " + ToUtf8(s.name) +
                                        " is smaller than this agent's block: another release",
                                    {"it cannot be mapped at " + std::to_string(block.size) +
                                     " bytes: " + ToUtf8(s.error->text)},
                                    "install a virtual camera and an agent of the same release"});
            } else if (error != 0 && error != 2) {
                findings.push_back(
                    {"section-not-opened",
                     "the agent cannot open the virtual camera's section " + ToUtf8(s.name) +
                         (error == 5   ? ": its security leaves this user out"
                          : error == 6 ? ": the name belongs to another kind of object, so the "
                                         "virtual camera cannot make it"
                                       : ""),
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
                                ? "the virtual camera is not running: its sections are missing"
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
    const Sample& last = c.control->samples.back();
    if (s.demandTick.ageMs < 0 || s.consumerStartTick.ageMs < 0 ||
        s.consumerHeartbeatTick.ageMs < 0) {
        findings.push_back({"tick-in-future",
                            "the virtual camera stamps ticks in the future: it writes another "
                            "clock than GetTickCount64",
                            {TicksText(s), "this machine's GetTickCount64: " +
                                               std::to_string(c.control->samples.front().now)},
                            "the virtual camera must stamp GetTickCount64 milliseconds; until "
                            "then the agent counts those ticks as never fresh"});
    } else if (Moved(*c.control) && !EverFresh(*c.control)) {
        findings.push_back({"ticks-never-fresh",
                            "the virtual camera stamps its ticks, but none is ever fresh: it "
                            "writes another clock than GetTickCount64, or stamps it late",
                            {"first seen: " + TicksText(s),
                             "last seen: " + TicksText(JudgeControlBlock(last.control, last.now))},
                            "the virtual camera must stamp GetTickCount64 milliseconds as it "
                            "reads them; until then the agent sees no demand"});
    } else if (s.consumerPresent && !s.demand) {
        findings.push_back(
            {"heartbeat-without-demand",
             "the virtual camera shows a consumer but asks for no frames: a defect of the "
             "virtual camera, which must keep demandTick fresh while a consumer wants frames",
             {TicksText(s)},
             "report it to the virtual camera's makers; closing and reopening the camera in the "
             "application may bring demand back"});
    }
}

}  // namespace orbelune
