// orbelune_vcam_peer.exe: plays the virtual camera's side of the agent's shared-memory
// contract, for tests, the demo and whoever writes the real virtual camera. It is built on
// the virtual camera's side of the public headers, with options to get things wrong on purpose.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/text_win.h"
#include "orbelune/vcam_contract.h"
#include "orbelune/vcam_peer_win.h"
#include "tools/report/block_report.h"
#include "tools/peer/peer_options.h"
#include "tools/report/local_time_win.h"

namespace {

using namespace orbelune;
using vcam::PeerSection;

// Opens the section, or creates it with the library's descriptor; false, having said why, when it
// cannot.
bool CreateSection(const std::wstring& name, DWORD size, PeerSection& section) {
    vcam::CreatedSection created = vcam::OpenOrCreatePeerSection(name.c_str(), size);
    if (created.error.call != nullptr) {
        std::fwprintf(stderr, L"orbelune_vcam_peer: cannot create %ls: %hs failed (error %lu)\n",
                      name.c_str(), created.error.call, created.error.code);
        return false;
    }
    if (created.section.existed) {
        std::fwprintf(stderr, L"orbelune_vcam_peer: %ls already existed; using it\n", name.c_str());
    }
    section = std::move(created.section);
    return true;
}

struct Namespace {
    std::wstring prefix;
    PeerSection control, capabilities, consumers;
};

void StampHeaders(const Namespace& ns, std::uint32_t controlMagic, std::uint32_t controlVersion,
                  std::uint32_t consumersMagic, std::uint32_t consumersVersion) {
    vcam::StampControlHeader(ns.control.Data(), ns.control.size, controlMagic, controlVersion);
    vcam::StampConsumersHeader(ns.consumers.Data(), ns.consumers.size, consumersMagic,
                               consumersVersion);
}

// The snapshots, as the report prints readings; nothing when none was accepted.
std::optional<vcam::CapabilitiesReading> Snapshot(const PeerSection& section) {
    vcam::CapabilitiesSnapshot s;
    if (!vcam::SnapshotCapabilities({section.Data(), section.size}, s).Accepted()) {
        return std::nullopt;
    }
    return vcam::CapabilitiesReading{vcam::kCapabilitiesMagic,
                                     vcam::kCapabilitiesVersion,
                                     true,
                                     s.cameraIndex,
                                     s.count,
                                     std::vector(s.formats, s.formats + s.count),
                                     s.sequence};
}

std::optional<vcam::ConsumersReading> SnapshotOfConsumers(const PeerSection& section) {
    vcam::ConsumersSnapshot s;
    if (!vcam::SnapshotConsumers({section.Data(), section.size}, s).Accepted()) {
        return std::nullopt;
    }
    vcam::ConsumersReading r{vcam::kConsumersMagic,
                             vcam::kConsumersVersion,
                             true,
                             s.count,
                             s.updatedTick,
                             {},
                             s.sequence};
    for (std::uint32_t i = 0; i < s.count; ++i) {
        const vcam::ConsumerEntry& e = s.consumers[i];
        r.slots.push_back({e.displayName, e.identity, e.packaged, e.lastUsedStart});
    }
    return r;
}

// The blocks as the virtual camera would take them: the published ones through snapshots, and
// as they stand where no snapshot is accepted (not published yet, or stamped wrongly).
void Print(const Namespace& ns, std::uint64_t now) {
    std::printf("[%ls] at tick %llu\n", ns.prefix.c_str(), static_cast<unsigned long long>(now));
    if (const auto control = vcam::ReadControlBlock(ns.control.Data(), ns.control.size)) {
        std::fputs(DescribeControlBlock(*control, now).c_str(), stdout);
    } else {
        std::printf("control block: %zu bytes, too small for the agent\n", ns.control.size);
    }
    PublishedBlockFacts<vcam::CapabilitiesReading> capabilities = {
        ToU16(ns.prefix + vcam::kCapabilitiesSectionName), Snapshot(ns.capabilities)};
    if (!capabilities.reading) {
        capabilities.reading =
            vcam::ReadCapabilitiesBlock(ns.capabilities.Data(), ns.capabilities.size);
    }
    std::fputs(CapabilitiesText(capabilities).c_str(), stdout);
    PublishedBlockFacts<vcam::ConsumersReading> consumers = {
        ToU16(ns.prefix + vcam::kConsumersSectionName), SnapshotOfConsumers(ns.consumers)};
    if (!consumers.reading) {
        consumers.reading = vcam::ReadConsumersBlock(ns.consumers.Data(), ns.consumers.size);
    }
    std::fputs(ConsumersText(consumers, LocalStartTimes(consumers), now).c_str(), stdout);
    std::fflush(stdout);
}

// Stamps the ticks whose time lasts, and the right headers once --fix-after has passed.
class Stamper {
  public:
    Stamper(const PeerOptions& options, std::uint64_t start) : options_(options), start_(start) {}

    void Stamp(const std::vector<Namespace>& namespaces, std::uint64_t now) {
        const bool fix = !fixed_ && options_.fixAfter >= 0 && now >= Until(options_.fixAfter);
        const bool startOnce = !startStamped_ && options_.consumerStartAt >= 0 &&
                               now >= Until(options_.consumerStartAt);
        for (const Namespace& ns : namespaces) {
            const vcam::ControlView control = {ns.control.Data(), ns.control.size};
            if (fix) {
                StampHeaders(ns, vcam::kControlMagic, vcam::kControlVersion, vcam::kConsumersMagic,
                             vcam::kConsumersVersion);
            }
            if (now < Until(options_.demand)) {
                vcam::StampDemand(control, now);
            }
            if (startOnce || now < Until(options_.consumerStart)) {
                vcam::StampConsumerStart(control, now);
            }
            if (now < Until(options_.heartbeat)) {
                vcam::StampConsumerHeartbeat(control, now);
            }
        }
        fixed_ = fixed_ || fix;
        startStamped_ = startStamped_ || startOnce;
    }

    [[nodiscard]] std::uint64_t Until(double seconds) const {
        return start_ + static_cast<std::uint64_t>(seconds * 1000);
    }

  private:
    const PeerOptions& options_;
    std::uint64_t start_;
    bool fixed_ = false;
    bool startStamped_ = false;
};

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
        namespaces.push_back({vcam::kGlobalPrefix, {}, {}, {}});
    }
    if (options.local) {
        namespaces.push_back({vcam::kLocalPrefix, {}, {}, {}});
    }
    for (Namespace& ns : namespaces) {
        if (!CreateSection(ns.prefix + vcam::kControlSectionName, options.controlSize,
                           ns.control) ||
            !CreateSection(ns.prefix + vcam::kCapabilitiesSectionName, options.capabilitiesSize,
                           ns.capabilities) ||
            !CreateSection(ns.prefix + vcam::kConsumersSectionName, options.consumersSize,
                           ns.consumers)) {
            return 3;
        }
        StampHeaders(ns, options.controlMagic, options.controlVersion, options.consumersMagic,
                     options.consumersVersion);
    }
    if (options.printEvery > 0) {
        std::printf("sections created; stamping ticks\n");
        std::fflush(stdout);
    }

    Stamper stamper(options, GetTickCount64());
    std::uint64_t nextPrint = stamper.Until(0);
    for (;;) {
        const std::uint64_t now = GetTickCount64();
        if (options.runFor >= 0 && now >= stamper.Until(options.runFor)) {
            return 0;
        }
        stamper.Stamp(namespaces, now);
        if (options.printEvery > 0 && now >= nextPrint) {
            for (const Namespace& ns : namespaces) {
                Print(ns, now);
            }
            nextPrint = now + static_cast<std::uint64_t>(options.printEvery * 1000);
        }
        Sleep(100);
    }
}
