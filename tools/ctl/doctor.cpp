#include "tools/ctl/doctor.h"

#include <algorithm>

#include "common/text.h"
#include "tools/ctl/doctor_rules.h"
#include "tools/report/json_writer.h"

namespace orbelune {

std::int64_t LocalSeconds(const std::tm& time) {
    // Days from 1970-01-01 of a date in the proleptic Gregorian calendar.
    const std::int64_t month = time.tm_mon + 1;
    const std::int64_t year = std::int64_t{time.tm_year} + 1900 - (month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear =
        (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time.tm_mday - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return ((days * 24 + time.tm_hour) * 60 + time.tm_min) * 60 + time.tm_sec;
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
    c.recentLines = RecentLines(s, LocalSeconds(facts.localNow));
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
        json.Member("kind", f.kind);
        json.Member("problem", Utf8ToU16(f.problem));
        json.Key("evidence");
        json.BeginArray();
        for (const std::string& evidence : f.evidence) {
            json.String(Utf8ToU16(evidence));
        }
        json.EndArray();
        json.Member("action", Utf8ToU16(f.action));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace orbelune
