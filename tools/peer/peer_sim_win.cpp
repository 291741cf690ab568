// orbelune_vcam_peer.exe: the virtual camera's side of the shared sections, built on the public
// headers, for tests, the demo and the virtual camera's makers; it can get things wrong on purpose.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/text_win.h"
#include "orbelune/vcam_agent.h"
#include "orbelune/vcam_peer_win.h"
#include "tools/peer/peer_options.h"
#include "tools/report/block_report.h"
#include "tools/report/local_time_win.h"

namespace {

using namespace orbelune;

// Opens the section, or creates it with the library's descriptor; false, said why, when neither.
bool CreateSection(const std::wstring& name, DWORD size, vcam::PeerSection& section) {
    vcam::CreatedSection created = vcam::OpenOrCreatePeerSection(name.c_str(), size);
    if (created.error.call != nullptr) {
        std::fwprintf(stderr, L"orbelune_vcam_peer: cannot create %ls: %hs failed (error %lu)\n",
                      name.c_str(), created.error.call, created.error.code);
        return false;
    }
    if (created.section.existed) {  // of its creator's size, whatever this one maps
        std::fwprintf(stderr, L"orbelune_vcam_peer: %ls already existed; using %lu bytes of it\n",
                      name.c_str(), size);
    }
    section = std::move(created.section);
    return true;
}

struct Namespace {
    std::wstring prefix;
    vcam::PeerSections sections;
    PublishedBlock<vcam::CapabilitiesSnapshot> capabilities;
    PublishedBlock<vcam::ConsumersSnapshot> consumers;
    vcam::ConsumersSnapshot earlier;  // a consumers snapshot from five seconds before or more
    std::uint64_t earlierAt = 0;
};

// A header word stamped with any value (StampPeerHeaders stamps only the right ones).
void StampWord(const vcam::PeerSection& section, vcam::Field field, std::uint32_t value) {
    if (vcam::detail::Holds(section.Data(), section.size, field.offset + field.size)) {
        vcam::detail::Store(section.Data(), field.offset, value);
    }
}

// The header words `o` asks for; the default options' are the right ones.
void StampHeaders(const Namespace& ns, const PeerOptions& o) {
    StampWord(ns.sections.control, vcam::kControlMagicField, o.controlMagic);
    StampWord(ns.sections.control, vcam::kControlVersionField, o.controlVersion);
    StampWord(ns.sections.consumers, vcam::kConsumersMagicField, o.consumersMagic);
    StampWord(ns.sections.consumers, vcam::kConsumersVersionField, o.consumersVersion);
}

// The blocks as the virtual camera takes them: the control block as the agent reads it, the
// published ones through snapshots. Each age is reckoned from a clock read after the block.
void Print(Namespace& ns) {
    const vcam::PeerSection& control = ns.sections.control;
    const std::u16string name = ToU16(ns.prefix + vcam::kControlSectionName);
    const auto reading = vcam::ReadControlBlock(control.Data(), control.size);
    const std::uint64_t now = GetTickCount64();
    std::vector<Node> blocks = {
        reading ? ControlNode(name, *reading, now)
                : Null("controlBlock", "control block (" + ToUtf8(name) +
                                           "): " + std::to_string(control.size) +
                                           " bytes, too small for the agent")};
    TakeSnapshot(ns.sections.capabilities.Data(), ns.sections.capabilities.size, ns.capabilities);
    blocks.push_back(CapabilitiesNode(ns.capabilities));
    TakeSnapshot(ns.sections.consumers.Data(), ns.sections.consumers.size, ns.consumers);
    const std::uint64_t after = GetTickCount64();
    const vcam::ConsumersSnapshot& s = ns.consumers.snapshot;
    blocks.push_back(ConsumersNode(ns.consumers, LocalStartTimes(s), after));
    // The agents of several signed-in users write the same block under Global\.
    if (ns.consumers.status == vcam::SnapshotStatus::kAccepted && after - ns.earlierAt >= 5000) {
        if (ns.earlierAt != 0 && vcam::HasSeveralWriters(ns.earlier, s)) {
            blocks.push_back(Null("", "more than one agent writes the consumers block"));
        }
        ns.earlier = s;
        ns.earlierAt = after;
    }
    std::fputs(
        ReportText(Object("", "at tick " + std::to_string(now) + ":", std::move(blocks))).c_str(),
        stdout);
    std::fflush(stdout);
}

// Whether `seconds` from the start have passed at `now`; never for a negative time.
bool Passed(double seconds, std::uint64_t start, std::uint64_t now) {
    return seconds >= 0 && now >= start + static_cast<std::uint64_t>(seconds * 1000);
}

// Stamps the ticks whose time lasts, and what falls due after the pass at `previous` (0: none
// yet): the right headers at --fix-after, consumerStartTick once at --consumer-start-at.
void Stamp(const std::vector<Namespace>& namespaces, const PeerOptions& o, std::uint64_t start,
           std::uint64_t previous, std::uint64_t now) {
    const auto due = [&](double seconds) {
        return Passed(seconds, start, now) && !Passed(seconds, start, previous);
    };
    for (const Namespace& ns : namespaces) {
        const vcam::ControlView control = ns.sections.Control();
        if (due(o.fixAfter)) {
            StampHeaders(ns, PeerOptions{});
        }
        if (!Passed(o.demand, start, now)) {
            vcam::StampDemand(control, now);
        }
        if (due(o.consumerStartAt) || !Passed(o.consumerStart, start, now)) {
            vcam::StampConsumerStart(control, now);
        }
        if (!Passed(o.heartbeat, start, now)) {
            vcam::StampConsumerHeartbeat(control, now);
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(ToU16(argv[i]));
    }
    const ParsedPeerOptions parsed = ParsePeerOptions(arguments);
    if (parsed.help) {
        std::fputs(PeerUsage().c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "orbelune_vcam_peer: %s\n", ToUtf8(parsed.error).c_str());
        return 2;
    }
    const PeerOptions& options = *parsed.options;

    std::vector<Namespace> namespaces;
    if (options.global) {
        namespaces.emplace_back().prefix = vcam::kGlobalPrefix;
    }
    if (options.local) {
        namespaces.emplace_back().prefix = vcam::kLocalPrefix;
    }
    for (Namespace& ns : namespaces) {
        ns.capabilities.name = ToU16(ns.prefix + vcam::kCapabilitiesSectionName);
        ns.consumers.name = ToU16(ns.prefix + vcam::kConsumersSectionName);
        if (!CreateSection(ns.prefix + vcam::kControlSectionName, options.controlSize,
                           ns.sections.control) ||
            !CreateSection(ToWide(ns.capabilities.name), options.capabilitiesSize,
                           ns.sections.capabilities) ||
            !CreateSection(ToWide(ns.consumers.name), options.consumersSize,
                           ns.sections.consumers)) {
            return 3;
        }
        StampHeaders(ns, options);
    }
    if (options.printEvery > 0) {
        std::printf("sections created; stamping ticks\n");
        std::fflush(stdout);
    }

    const std::uint64_t start = GetTickCount64();
    for (std::uint64_t nextPrint = start, previous = 0;;) {
        const std::uint64_t now = GetTickCount64();
        if (Passed(options.runFor, start, now)) {
            return 0;
        }
        Stamp(namespaces, options, start, previous, now);
        previous = now;
        if (options.printEvery > 0 && now >= nextPrint) {
            for (Namespace& ns : namespaces) {
                Print(ns);
            }
            nextPrint = now + static_cast<std::uint64_t>(options.printEvery * 1000);
        }
        Sleep(100);
    }
}
