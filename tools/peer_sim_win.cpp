// orbelune_vcam_peer.exe: plays the virtual camera's side of the agent's shared-memory
// contract, for tests, the demo and whoever writes the real virtual camera. It is built on
// the virtual camera's side of the public headers, with options to get things wrong on purpose.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/text_win.h"
#include "orbelune/vcam_peer_win.h"
#include "tools/describe_control.h"
#include "tools/local_time_win.h"
#include "tools/status_report.h"

namespace {

using namespace orbelune;
using vcam::PeerSection;

constexpr wchar_t kUsage[] =
    L"Usage: orbelune_vcam_peer [options]\n"
    L"\n"
    L"Plays the virtual camera for the Orbelune camera agent. Creates the three shared sections\n"
    L"the agent opens (control, capabilities, consumers), stamps their headers, keeps the\n"
    L"control block's ticks fresh for the given times and prints the blocks as it holds them.\n"
    L"\n"
    L"Sections:\n"
    L"  --namespace local|global|both   where to create them (default: local). The agent tries\n"
    L"                                  Global\\ first, then Local\\.\n"
    L"  --control-size N                bytes of the control section (default 80)\n"
    L"  --capabilities-size N           bytes of the capabilities section (default 2068)\n"
    L"  --consumers-size N              bytes of the consumers section (default 608)\n"
    L"  --control-magic HEX             stamp this magic instead of 4F425643\n"
    L"  --control-version N             stamp this version instead of 2\n"
    L"  --consumers-magic HEX           stamp this magic instead of 4F42434F\n"
    L"  --consumers-version N           stamp this version instead of 1\n"
    L"  --fix-after SECONDS             after this long, stamp the right magics and versions\n"
    L"\n"
    L"Ticks (GetTickCount64 milliseconds, each written with one aligned 64-bit store every\n"
    L"100 ms while its time lasts; 0 leaves the tick alone):\n"
    L"  --demand SECONDS                keep demandTick fresh: frames are wanted\n"
    L"  --consumer-start SECONDS        keep consumerStartTick fresh (also counts as demand)\n"
    L"  --consumer-start-at SECONDS     stamp consumerStartTick once, this long after start\n"
    L"  --heartbeat SECONDS             keep consumerHeartbeatTick fresh: a consumer is present\n"
    L"\n"
    L"Run:\n"
    L"  --for SECONDS                   exit after this long (default: run until ended)\n"
    L"  --print-every SECONDS           print the blocks this often (default 1; 0: never)\n"
    L"  --help                          show this text\n"
    L"\n"
    L"Exit code 0 after --for, 2 for a bad option, 3 when a section cannot be created.\n";

struct Options {
    bool local = true;
    bool global = false;
    DWORD controlSize = vcam::kControlBlockSize;
    DWORD capabilitiesSize = vcam::kCapabilitiesBlockSize;
    DWORD consumersSize = vcam::kConsumersBlockSize;
    std::uint32_t controlMagic = vcam::kControlMagic;
    std::uint32_t controlVersion = vcam::kControlVersion;
    std::uint32_t consumersMagic = vcam::kConsumersMagic;
    std::uint32_t consumersVersion = vcam::kConsumersVersion;
    double fixAfter = -1;
    double demand = 0;
    double consumerStart = 0;
    double consumerStartAt = -1;
    double heartbeat = 0;
    double runFor = -1;
    double printEvery = 1;
};

bool ParseNumber(const wchar_t* text, double& value) {
    wchar_t* end = nullptr;
    value = std::wcstod(text, &end);
    return end != text && *end == L'\0' && value >= 0;
}

bool ParseUnsigned(const wchar_t* text, int base, std::uint32_t& value) {
    wchar_t* end = nullptr;
    const unsigned long long parsed = std::wcstoull(text, &end, base);
    value = static_cast<std::uint32_t>(parsed);
    return end != text && *end == L'\0' && parsed <= 0xFFFFFFFFull;
}

// 0: parsed; 1: help shown; 2: bad option.
int ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view option = argv[i];
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            std::fputws(kUsage, stdout);
            return 1;
        }
        if (i + 1 >= argc) {
            std::fwprintf(stderr, L"orbelune_vcam_peer: %ls needs a value (see --help)\n", argv[i]);
            return 2;
        }
        const wchar_t* value = argv[++i];
        std::uint32_t number = 0;
        bool ok = true;
        if (option == L"--namespace") {
            const std::wstring_view ns = value;
            options.local = ns == L"local" || ns == L"both";
            options.global = ns == L"global" || ns == L"both";
            ok = options.local || options.global;
        } else if (option == L"--control-size") {
            ok = ParseUnsigned(value, 10, number) && number > 0;
            options.controlSize = number;
        } else if (option == L"--capabilities-size") {
            ok = ParseUnsigned(value, 10, number) && number > 0;
            options.capabilitiesSize = number;
        } else if (option == L"--consumers-size") {
            ok = ParseUnsigned(value, 10, number) && number > 0;
            options.consumersSize = number;
        } else if (option == L"--control-magic") {
            ok = ParseUnsigned(value, 16, options.controlMagic);
        } else if (option == L"--control-version") {
            ok = ParseUnsigned(value, 10, options.controlVersion);
        } else if (option == L"--consumers-magic") {
            ok = ParseUnsigned(value, 16, options.consumersMagic);
        } else if (option == L"--consumers-version") {
            ok = ParseUnsigned(value, 10, options.consumersVersion);
        } else if (option == L"--fix-after") {
            ok = ParseNumber(value, options.fixAfter);
        } else if (option == L"--demand") {
            ok = ParseNumber(value, options.demand);
        } else if (option == L"--consumer-start") {
            ok = ParseNumber(value, options.consumerStart);
        } else if (option == L"--consumer-start-at") {
            ok = ParseNumber(value, options.consumerStartAt);
        } else if (option == L"--heartbeat") {
            ok = ParseNumber(value, options.heartbeat);
        } else if (option == L"--for") {
            ok = ParseNumber(value, options.runFor);
        } else if (option == L"--print-every") {
            ok = ParseNumber(value, options.printEvery);
        } else {
            std::fwprintf(stderr, L"orbelune_vcam_peer: unknown option %ls (see --help)\n",
                          argv[i - 1]);
            return 2;
        }
        if (!ok) {
            std::fwprintf(stderr, L"orbelune_vcam_peer: bad value '%ls' for %ls\n", value,
                          argv[i - 1]);
            return 2;
        }
    }
    return 0;
}

// Creates the section with the library's descriptor; false, having said why, when it cannot.
bool CreateSection(const std::wstring& name, DWORD size, PeerSection& section) {
    vcam::CreatedSection created = vcam::CreatePeerSection(name.c_str(), size);
    if (created.error.call != nullptr) {
        std::fwprintf(stderr, L"orbelune_vcam_peer: cannot create %ls: %hs failed (error %lu)\n",
                      name.c_str(), created.error.call, created.error.code);
        return false;
    }
    if (created.existed) {
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
        ToU16(ns.prefix + vcam::kCapabilitiesSectionName),
        vcam::SnapshotCapabilities(ns.capabilities)};
    if (!capabilities.reading) {
        capabilities.reading =
            vcam::ReadCapabilitiesBlock(ns.capabilities.Data(), ns.capabilities.size);
    }
    std::fputs(CapabilitiesText(capabilities).c_str(), stdout);
    PublishedBlockFacts<vcam::ConsumersReading> consumers = {
        ToU16(ns.prefix + vcam::kConsumersSectionName), vcam::SnapshotConsumers(ns.consumers)};
    if (!consumers.reading) {
        consumers.reading = vcam::ReadConsumersBlock(ns.consumers.Data(), ns.consumers.size);
    }
    std::fputs(ConsumersText(consumers, LocalStartTimes(consumers), now).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (const int parsed = ParseOptions(argc, argv, options); parsed != 0) {
        return parsed == 1 ? 0 : 2;
    }

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

    const std::uint64_t start = GetTickCount64();
    const auto until = [&](double seconds) {
        return start + static_cast<std::uint64_t>(seconds * 1000);
    };
    bool fixed = false;
    bool startStamped = false;
    std::uint64_t nextPrint = start;
    for (;;) {
        const std::uint64_t now = GetTickCount64();
        if (options.runFor >= 0 && now >= until(options.runFor)) {
            return 0;
        }
        for (const Namespace& ns : namespaces) {
            if (!fixed && options.fixAfter >= 0 && now >= until(options.fixAfter)) {
                StampHeaders(ns, vcam::kControlMagic, vcam::kControlVersion, vcam::kConsumersMagic,
                             vcam::kConsumersVersion);
            }
            if (now < until(options.demand)) {
                vcam::StampTick(ns.control, vcam::kControlDemandTickField, now);
            }
            if (now < until(options.consumerStart)) {
                vcam::StampTick(ns.control, vcam::kControlConsumerStartTickField, now);
            }
            if (!startStamped && options.consumerStartAt >= 0 &&
                now >= until(options.consumerStartAt)) {
                vcam::StampTick(ns.control, vcam::kControlConsumerStartTickField, now);
            }
            if (now < until(options.heartbeat)) {
                vcam::StampTick(ns.control, vcam::kControlConsumerHeartbeatTickField, now);
            }
        }
        fixed = fixed || (options.fixAfter >= 0 && now >= until(options.fixAfter));
        startStamped =
            startStamped || (options.consumerStartAt >= 0 && now >= until(options.consumerStartAt));
        if (options.printEvery > 0 && now >= nextPrint) {
            for (const Namespace& ns : namespaces) {
                Print(ns, now);
            }
            nextPrint = now + static_cast<std::uint64_t>(options.printEvery * 1000);
        }
        Sleep(100);
    }
}
