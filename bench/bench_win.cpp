// orbelune_bench.exe: times the agent's demand-to-start latency and its idle-stop accuracy
// under the real system (Wine here), with the peer simulator and the stand-in producer, and
// prints the figures as Markdown. Run by scripts/bench.sh in a prefix of its own.
//
//   orbelune_bench.exe [--trials N] [--starts N] [--idle-stop-ms MS]
//
// Latency: from the peer's first fresh demand tick to the stand-in producer's first
// instruction (the tick= line of its record). A process start is part of it, so the bench also
// starts the stand-in directly a number of times and reports the latency net of the median
// start cost. Accuracy: when the producer's process ended, minus the moment the rules allow
// it to end, the last fresh tick + 2500 ms + IdleStopMs.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "agent/agent_names.h"
#include "agent/supervision.h"
#include "common/file_win.h"
#include "common/handles_win.h"
#include "common/path_win.h"
#include "common/process_win.h"
#include "common/section_win.h"
#include "common/text_win.h"
#include "config/settings.h"
#include "orbelune/vcam_agent.h"
#include "tests/support/wait_win.h"

namespace {

using namespace orbelune;

constexpr wchar_t kProducerName[] = L"orbelune_windows_retouch_vcam_producer.exe";

// The stand-in's start records: process id and the tick at which it began to run.
struct StartRecord {
    DWORD processId = 0;
    std::uint64_t tick = 0;
};

std::vector<StartRecord> StartRecords(const std::wstring& folder) {
    const std::string text = ReadWholeFile(folder + L"\\standin-producer.log").value_or("");
    std::vector<StartRecord> records;
    for (size_t at = text.find("start pid="); at != std::string::npos;
         at = text.find("start pid=", at + 1)) {
        const size_t tick = text.find("tick=", at);
        const size_t end = tick == std::string::npos ? tick : text.find("\r\n", tick);
        if (end == std::string::npos) {
            break;  // a record still being written
        }
        records.push_back({static_cast<DWORD>(std::strtoul(text.c_str() + at + 10, nullptr, 10)),
                           std::strtoull(text.c_str() + tick + 5, nullptr, 10)});
    }
    return records;
}

// The control block's demand tick as the peer last stamped it; 0 when there is no block.
std::uint64_t DemandTick() {
    const SectionCopy control = CopySection(vcam::kControlSectionName, vcam::kControlBlockSize);
    const auto fields = vcam::ReadControlBlock(control.bytes.data(), control.bytes.size());
    return fields ? fields->demandTick : 0;
}

struct Stats {
    size_t count = 0;
    long long min = 0, median = 0, p95 = 0, max = 0;
};

// Nearest-rank percentiles.
Stats Summarise(std::vector<long long> values) {
    Stats stats;
    if (values.empty()) {
        return stats;
    }
    std::sort(values.begin(), values.end());
    const auto rank = [&](double p) {
        const size_t r = static_cast<size_t>(p * static_cast<double>(values.size()) + 0.999999);
        return values[std::clamp<size_t>(r, 1, values.size()) - 1];
    };
    stats.count = values.size();
    stats.min = values.front();
    stats.median = rank(0.5);
    stats.p95 = rank(0.95);
    stats.max = values.back();
    return stats;
}

void PrintRow(const char* what, const Stats& s) {
    std::printf("| %s | %zu | %lld | %lld | %lld | %lld |\n", what, s.count, s.min, s.median, s.p95,
                s.max);
}

void PrintValues(const char* what, const std::vector<long long>& values) {
    std::printf("%s:", what);
    for (const long long v : values) {
        std::printf(" %lld", v);
    }
    std::printf("\n\n");
}

struct Options {
    int trials = 30;
    int starts = 12;
    DWORD idleStopMs = 1000;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring_view name = argv[i];
        const unsigned long value = std::wcstoul(argv[i + 1], nullptr, 10);
        if (name == L"--trials") {
            options.trials = static_cast<int>(value);
        } else if (name == L"--starts") {
            options.starts = static_cast<int>(value);
        } else if (name == L"--idle-stop-ms") {
            options.idleStopMs = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.trials > 0 && options.starts > 0;
}

// The folder the bench runs the agent and the stand-in in, with fresh copies of both; empty
// when they cannot be copied.
std::wstring PrepareFolder(const std::wstring& bin) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = std::wstring(temp) + L"orbelune-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    DeleteFileW((folder + L"\\standin-producer.log").c_str());
    DeleteFileW((folder + L"\\standin-producer.mode").c_str());
    for (const wchar_t* name : {L"orbelune_vcam_agent.exe", kProducerName}) {
        if (!CopyFileW((bin + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE)) {
            std::fprintf(stderr, "orbelune_bench: cannot copy %ls (error %lu)\n", name,
                         GetLastError());
            return {};
        }
    }
    return folder;
}

// The cost of a process start: from just before CreateProcessW to the stand-in's first
// instruction, with no agent running. Empty when the stand-in records no start.
std::vector<long long> MeasureStarts(const std::wstring& folder, int starts) {
    const std::wstring producer = L"\"" + folder + L"\\" + kProducerName + L"\"";
    std::vector<long long> costs;
    for (int i = 0; i < starts; ++i) {
        const size_t before = StartRecords(folder).size();
        const std::uint64_t t0 = GetTickCount64();
        const UniqueHandle process = StartProgram(producer, folder);
        if (!WaitUntil([&] { return StartRecords(folder).size() > before; }, 10000)) {
            std::fputs("orbelune_bench: the stand-in did not record its start\n", stderr);
            return {};
        }
        costs.push_back(static_cast<long long>(StartRecords(folder).back().tick - t0));
        TerminateProcess(process.Get(), 0);
        WaitForSingleObject(process.Get(), 5000);
        Sleep(100);
    }
    return costs;
}

struct Trial {
    long long latency = 0;    // first fresh demand tick to the stand-in's first instruction
    long long stopError = 0;  // the stop minus the moment the rules allow it
};

// One round of demand against the running agent: nothing when a step does not happen.
std::optional<Trial> RunTrial(const std::wstring& bin, const std::wstring& folder,
                              std::uint64_t idleStopMs) {
    const std::uint64_t previous = DemandTick();
    const size_t before = StartRecords(folder).size();
    const UniqueHandle peer = StartProgram(
        L"\"" + bin + L"\\orbelune_vcam_peer.exe\" --print-every 0 --demand 0.3 --for 1");
    std::uint64_t firstTick = 0;
    const auto stamped = [&] {
        const std::uint64_t tick = DemandTick();
        firstTick = tick != previous ? tick : 0;
        return firstTick != 0;
    };
    if (!WaitUntil(stamped, 20000)) {
        std::fputs("orbelune_bench: the peer stamped no demand\n", stderr);
        return std::nullopt;
    }
    if (!WaitUntil([&] { return StartRecords(folder).size() > before; }, 20000)) {
        std::fputs("orbelune_bench: the agent started no producer\n", stderr);
        return std::nullopt;
    }
    const StartRecord started = StartRecords(folder).back();
    const UniqueHandle running(OpenProcess(SYNCHRONIZE, FALSE, started.processId));
    Trial trial;
    trial.latency = static_cast<long long>(started.tick - firstTick);
    WaitForSingleObject(peer.Get(), 20000);
    const std::uint64_t lastTick = DemandTick();  // the peer's last stamp
    if (WaitForSingleObject(running.Get(), 20000) != WAIT_OBJECT_0) {
        std::fputs("orbelune_bench: the agent did not stop the producer\n", stderr);
        return std::nullopt;
    }
    trial.stopError = static_cast<long long>(GetTickCount64()) -
                      static_cast<long long>(lastTick + kFreshnessMs + idleStopMs);
    return trial;
}

void PrintReport(const Options& options, const std::vector<long long>& startCosts,
                 const std::vector<long long>& latencies,
                 const std::vector<long long>& stopErrors) {
    std::vector<long long> netLatencies;
    netLatencies.reserve(latencies.size());
    const long long startCost = Summarise(startCosts).median;
    for (const long long latency : latencies) {
        netLatencies.push_back(latency - startCost);
    }
    std::printf("### Demand to start\n\n");
    std::printf("Milliseconds of GetTickCount64, %d trials, IdleStopMs %lu.\n\n", options.trials,
                static_cast<unsigned long>(options.idleStopMs));
    std::printf("| measure | n | min | median | p95 | max |\n|---|---|---|---|---|---|\n");
    PrintRow("process start (stand-in started directly)", Summarise(startCosts));
    PrintRow("demand to start, raw", Summarise(latencies));
    PrintRow("demand to start, net of the median process start", Summarise(netLatencies));
    std::printf("\n");
    PrintValues("Process starts", startCosts);
    PrintValues("Latencies, raw", latencies);
    std::printf("### Idle to stop\n\n");
    std::printf("Stop moment minus (last fresh tick + 2500 + IdleStopMs), in ms.\n\n");
    std::printf("| measure | n | min | median | p95 | max |\n|---|---|---|---|---|---|\n");
    PrintRow("stop error", Summarise(stopErrors));
    std::printf("\n");
    PrintValues("Stop errors", stopErrors);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs("usage: orbelune_bench [--trials N] [--starts N] [--idle-stop-ms MS]\n", stderr);
        return 2;
    }
    const std::wstring bin = ToWide(ModuleDirectory());
    const std::wstring folder = PrepareFolder(bin);
    const std::vector<long long> startCosts =
        folder.empty() ? std::vector<long long>{} : MeasureStarts(folder, options.starts);
    if (startCosts.empty()) {
        return 1;
    }

    const std::wstring settingsKey = ToWide(kSettingsKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey.c_str());
    const DWORD idleStopMs = options.idleStopMs;
    RegSetKeyValueW(HKEY_CURRENT_USER, settingsKey.c_str(), L"IdleStopMs", REG_DWORD, &idleStopMs,
                    sizeof idleStopMs);
    const UniqueHandle agent =
        StartProgram(L"\"" + folder + L"\\orbelune_vcam_agent.exe\"", folder);
    const auto agentRuns = [] {
        return UniqueHandle(OpenMutexW(SYNCHRONIZE, FALSE, kSingletonMutexName)).IsValid();
    };
    if (!WaitUntil(agentRuns, 20000, 20)) {
        std::fputs("orbelune_bench: the agent did not start\n", stderr);
        return 1;
    }

    std::mt19937 random(1);
    std::vector<long long> latencies, stopErrors;
    for (int i = 0; i < options.trials; ++i) {
        // Spread the peer's first tick over the agent's 500 ms pass.
        Sleep(200 + random() % kPassSleepMs);
        const std::optional<Trial> trial = RunTrial(bin, folder, idleStopMs);
        if (!trial) {
            return 1;
        }
        latencies.push_back(trial->latency);
        stopErrors.push_back(trial->stopError);
    }
    TerminateProcess(agent.Get(), 0);
    WaitForSingleObject(agent.Get(), 5000);
    RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey.c_str());
    PrintReport(options, startCosts, latencies, stopErrors);
    return 0;
}
