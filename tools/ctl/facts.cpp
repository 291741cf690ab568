#include "tools/ctl/facts.h"

#include <algorithm>
#include <tuple>

#include "agent/supervision.h"
#include "common/path.h"
#include "common/text.h"

namespace orbelune {

const SectionFacts* AgentSection(const Sections& sections) {
    const auto section =
        std::ranges::find_if(sections, [](const SectionFacts& s) { return s.opened && !s.error; });
    return section != sections.end() ? &*section : nullptr;
}

const ProcessFacts* SessionAgent(const Facts& facts) {
    const ProcessFacts* agent = nullptr;
    for (const ProcessFacts& p : facts.processes) {
        if (p.agent && p.session == facts.session && (!agent || p.created < agent->created)) {
            agent = &p;
        }
    }
    return agent;
}

bool IsProducer(const Facts& facts, const ProcessFacts& p) {
    const std::u16string name = ToLowerUnits(p.image);
    return p.session == facts.session && !p.agent && p.id != facts.processId &&
           (name == ToLowerUnits(RowOf(Setting::kProducerExe).defaultText) ||
            name == ToLowerUnits(FileNameOfPath(SettingsOf(facts).producerExe)));
}

bool IsAgentChild(const Facts& facts, const ProcessFacts& process) {
    const ProcessFacts* agent = SessionAgent(facts);
    return agent && ParentOf(facts, process) == agent;
}

const ProcessFacts* ParentOf(const Facts& facts, const ProcessFacts& process) {
    // Started by another in its session, no earlier than it (an older process cannot be its
    // child: the id was another's then).
    const auto parent = std::ranges::find_if(facts.processes, [&](const ProcessFacts& q) {
        return process.id != q.id && process.parentId == q.id && process.session == q.session &&
               process.created >= q.created;
    });
    return parent != facts.processes.end() ? &*parent : nullptr;
}

bool StartedByAgent(const Facts& facts, const ProcessFacts& process) {
    // Up its parents to the agent, or to none, or round a loop as long as the process table.
    const ProcessFacts* agent = SessionAgent(facts);
    const ProcessFacts* p = agent ? ParentOf(facts, process) : nullptr;
    for (size_t hops = 0; p && p != agent && hops < facts.processes.size(); ++hops) {
        p = ParentOf(facts, *p);
    }
    return agent && p == agent;
}

std::pair<std::u16string, const char*> AgentFolder(const Facts& facts) {
    if (const ProcessFacts* agent = SessionAgent(facts); agent && !agent->path.empty()) {
        return {FolderOfPath(agent->path), "the running agent's folder"};
    }
    for (const auto& entry : {facts.userEntry, facts.machineEntry}) {
        if (entry && entry->agent) {
            return {FolderOfPath(entry->image), "the folder of the agent its logon entry starts"};
        }
    }
    return {facts.toolFolder, "this tool's folder"};
}

AgentSettings SettingsOf(const Facts& facts) {
    return SettingsFromValues(facts.raw, AgentFolder(facts).first);
}

bool Moved(const SectionFacts& section) {
    const auto watched = [](const Sample& s) {
        return std::tie(s.updatedTick, s.control.demandTick, s.control.consumerStartTick,
                        s.control.consumerHeartbeatTick);
    };
    return std::ranges::any_of(section.samples, [&](const Sample& s) {
        return watched(s) != watched(section.samples.front());
    });
}

bool EverFresh(const SectionFacts& section) {
    return std::ranges::any_of(section.samples, [](const Sample& s) {
        const ControlStatus status = JudgeControlBlock(s.control, s.now);
        return status.demand || status.consumerPresent;
    });
}

bool IsStampedConsumers(const SectionFacts& section) {
    return !section.samples.empty() && section.magic == vcam::kConsumersMagic &&
           section.version == vcam::kConsumersVersion;
}

bool WatchSettled(const Facts& facts) {
    const SectionFacts* consumers = AgentSection(facts.consumers);
    if (facts.agentMutex && consumers && IsStampedConsumers(*consumers) &&
        std::ranges::none_of(facts.consumers, Moved)) {
        return false;
    }
    // Nor while a valid control section's ticks, never fresh, have been still for no longer than a
    // virtual camera that wants frames leaves them (it stamps at least every kFreshnessMs).
    return std::ranges::none_of(facts.control, [](const SectionFacts& s) {
        return !s.samples.empty() && s.samples.front().control.valid && !EverFresh(s) &&
               !Moved(s) &&
               s.samples.back().now - s.samples.front().now <= kFreshnessMs + kPassSleepMs;
    });
}

}  // namespace orbelune
