// orbelune_vcam_peer.exe: plays the virtual camera's side of the agent's shared-memory
// contract, for tests, the demo and whoever writes the real virtual camera. It is built on
// the virtual camera's side of the public headers, with options to get things wrong on purpose.
#include <windows.h>

#include <atomic>
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
    vcam::PeerSections sections;
    vcam::ConsumersSnapshot earlier;  // a consumers snapshot from five seconds before or more
    std::uint64_t earlierAt = 0;
};

// A header word stamped as the virtual camera stamps it, with whatever value the options ask for
// (StampPeerHeaders stamps only the right ones); only when the section holds the word.
void StampWord(const PeerSection& section, vcam::Field field, std::uint32_t value) {
    if (section.Data() != nullptr && field.offset + field.size <= section.size) {
        std::atomic_ref<std::uint32_t>(
            *static_cast<std::uint32_t*>(
                static_cast<void*>(static_cast<unsigned char*>(section.Data()) + field.offset)))
            .store(value);
    }
}

void StampHeaders(const Namespace& ns, std::uint32_t controlMagic, std::uint32_t controlVersion,
                  std::uint32_t consumersMagic, std::uint32_t consumersVersion) {
    StampWord(ns.sections.control, vcam::kControlMagicField, controlMagic);
    StampWord(ns.sections.control, vcam::kControlVersionField, controlVersion);
    StampWord(ns.sections.consumers, vcam::kConsumersMagicField, consumersMagic);
    StampWord(ns.sections.consumers, vcam::kConsumersVersionField, consumersVersion);
}

// Why a snapshot gave nothing, in the words of the virtual camera's page.
const char* SnapshotReason(vcam::SnapshotStatus status) {
    switch (status) {
        case vcam::SnapshotStatus::kAccepted:
            return "accepted";
        case vcam::SnapshotStatus::kNotPublished:
            return "the agent has not published there yet";
        case vcam::SnapshotStatus::kRetriesExhausted:
            return "every copy saw the block change";
        case vcam::SnapshotStatus::kRejected:
            return "no finished publication (one in progress, or a block the agent does not write)";
        case vcam::SnapshotStatus::kSectionTooSmall:
            return "the section is too small for the block";
    }
    return "?";
}

void PrintCapabilities(const Namespace& ns) {
    vcam::CapabilitiesSnapshot s;
    const vcam::SnapshotResult r = vcam::SnapshotCapabilities(ns.sections.Capabilities(), s);
    std::printf("capabilities block: ");
    if (!r.Accepted()) {
        std::printf("no snapshot: %s\n", SnapshotReason(r.status));
        return;
    }
    std::printf("camera %u, sequence %u, %u format(s)\n", s.cameraIndex, s.sequence, s.count);
    for (std::uint32_t i = 0; i < s.count; ++i) {
        const vcam::CameraCapability& f = s.formats[i];
        std::printf("  [%u] %ux%u@%u/%u\n", i, f.width, f.height, f.frameRateNumerator,
                    f.frameRateDenominator);
    }
}

void PrintConsumers(Namespace& ns) {
    vcam::ConsumersSnapshot s;
    const vcam::SnapshotResult r = vcam::SnapshotConsumers(ns.sections.Consumers(), s);
    const std::uint64_t now = GetTickCount64();  // after the update tick was copied
    std::printf("consumers block: ");
    if (!r.Accepted()) {
        std::printf("no snapshot: %s\n", SnapshotReason(r.status));
        return;
    }
    std::printf("sequence %u, updated %lld ms ago, %u consumer(s)\n", s.sequence,
                static_cast<long long>(now - s.updatedTick), s.count);
    // The agents of several signed-in users write the same block under Global\.
    if (now - ns.earlierAt >= 5000) {
        if (ns.earlierAt != 0 && vcam::HasSeveralWriters(ns.earlier, s)) {
            std::printf("  more than one agent writes this block\n");
        }
        ns.earlier = s;
        ns.earlierAt = now;
    }
    for (std::uint32_t i = 0; i < s.count; ++i) {
        const vcam::ConsumerEntry& c = s.consumers[i];
        const auto started = LocalTimeOf(c.lastUsedStart);
        std::printf("  [%u] \"%s\" %s, %s, started ", i,
                    ToUtf8(std::u16string(c.displayName)).c_str(), Latin1ToUtf8(c.identity).c_str(),
                    c.packaged != 0 ? "packaged" : "desktop");
        if (started) {
            std::printf("%04d-%02d-%02d %02d:%02d:%02d local time\n", started->year, started->month,
                        started->day, started->hour, started->minute, started->second);
        } else {
            std::printf("at FILETIME %llu\n", static_cast<unsigned long long>(c.lastUsedStart));
        }
    }
}

// The blocks as the virtual camera takes them: the control block as the agent reads it, the
// published ones through snapshots. Each age is reckoned from a clock read after the tick.
void Print(Namespace& ns) {
    const vcam::PeerSection& control = ns.sections.control;
    const auto reading = vcam::ReadControlBlock(control.Data(), control.size);
    const std::uint64_t now = GetTickCount64();
    std::printf("[%ls] at tick %llu\n", ns.prefix.c_str(), static_cast<unsigned long long>(now));
    if (reading) {
        std::fputs(DescribeControlBlock(*reading, now).c_str(), stdout);
    } else {
        std::printf("control block: %zu bytes, too small for the agent\n", control.size);
    }
    PrintCapabilities(ns);
    PrintConsumers(ns);
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
            const vcam::ControlView control = ns.sections.Control();
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
        namespaces.emplace_back().prefix = vcam::kGlobalPrefix;
    }
    if (options.local) {
        namespaces.emplace_back().prefix = vcam::kLocalPrefix;
    }
    for (Namespace& ns : namespaces) {
        if (!CreateSection(ns.prefix + vcam::kControlSectionName, options.controlSize,
                           ns.sections.control) ||
            !CreateSection(ns.prefix + vcam::kCapabilitiesSectionName, options.capabilitiesSize,
                           ns.sections.capabilities) ||
            !CreateSection(ns.prefix + vcam::kConsumersSectionName, options.consumersSize,
                           ns.sections.consumers)) {
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
            for (Namespace& ns : namespaces) {
                Print(ns);
            }
            nextPrint = now + static_cast<std::uint64_t>(options.printEvery * 1000);
        }
        Sleep(100);
    }
}
