// The agent under Wine for a long run (ORBELUNE_SOAK_SECONDS, default 60) while the peer
// simulator switches demand and the consumer heartbeat on and off every few seconds and the
// stand-in producer now and then dies: the agent never crashes, never runs two producers,
// keeps its handle count and working set flat (read from outside), and writes exactly the
// log lines its rules give, in an order they allow.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr wchar_t kProducerName[] = L"orbelune_windows_retouch_vcam_producer.exe";
constexpr DWORD kIdleStopMs = 1000;

constexpr char kFallbackLine[] =
    "camera capability enumeration failed/empty; using 1280x720@30 fallback";
constexpr char kFallbackPublishedLine[] = "published 1 native camera capability tuple(s)";

// Walks the agent's lines through the loop's states (running or not, idle reported or not)
// and tells the first line that the rules do not allow there; empty when every line fits.
// The settings stay enabled throughout, so the disabled line never belongs; the camera index
// never changes, so the capabilities are published once (Wine has no camera: the fallback).
std::string FirstBadLine(const std::vector<std::string>& lines, DWORD idleStopMs) {
    const std::string idleStop =
        "no demand for " + std::to_string(idleStopMs) + " ms; stopping producer";
    bool running = false;
    bool idleReported = false;
    bool published = false;
    const auto bad = [&](size_t i, const char* why) {
        return "line " + std::to_string(i) + " '" + lines[i] + "': " + why;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string previous = i > 0 ? lines[i - 1] : "";
        const std::string next = i + 1 < lines.size() ? lines[i + 1] : "";
        if (line == "agent starting") {
            if (i != 0) {
                return bad(i, "a second start-up");
            }
        } else if (i == 0) {
            return bad(i, "the agent's first line is not its start-up");
        } else if (line == "demand detected; starting producer") {
            if (running) {
                return bad(i, "demand line while a producer runs");
            }
            if (!next.empty() && !next.starts_with("producer started (") &&
                !next.starts_with("producer exe not found: ") &&
                !next.starts_with("failed to start producer: ")) {
                return bad(i, "demand line not followed by the start's own line");
            }
            idleReported = false;
        } else if (line.starts_with("producer started (camera-index=")) {
            if (previous != "demand detected; starting producer") {
                return bad(i, "start without the demand line before it");
            }
            running = true;
        } else if (line.starts_with("producer exe not found: ") ||
                   line.starts_with("failed to start producer: ")) {
            if (previous != "demand detected; starting producer") {
                return bad(i, "failed start without the demand line before it");
            }
        } else if (line == "producer exited unexpectedly") {
            if (!running) {
                return bad(i, "exit line without a running producer");
            }
            running = false;
            if (!next.empty() && next != "demand detected; starting producer" &&
                next != "idle; waiting for a consumer to open Orbelune") {
                return bad(i, "exit line not followed by a restart or the idle line");
            }
        } else if (line == idleStop) {
            if (!running) {
                return bad(i, "idle stop without a running producer");
            }
            running = false;
        } else if (line == "idle; waiting for a consumer to open Orbelune") {
            if (running || idleReported) {
                return bad(i, running ? "idle line while a producer runs"
                                      : "idle line twice in one idle period");
            }
            idleReported = true;
        } else if (line == kFallbackLine) {
            if (!next.empty() && next != kFallbackPublishedLine) {
                return bad(i, "fallback line not followed by its publication");
            }
        } else if (line == kFallbackPublishedLine) {
            if (published || previous != kFallbackLine) {
                return bad(i, published ? "a second publication for one camera index"
                                        : "fallback publication without its line before it");
            }
            published = true;
        } else {
            return bad(i, "not a line the agent writes in this run");
        }
    }
    return {};
}

TEST(SoakTest, LogRulesCatchWhatTheyShould) {
    using Lines = std::vector<std::string>;
    const std::string demand = "demand detected; starting producer";
    const std::string started = "producer started (camera-index=0 provider=directml)";
    const std::string idle = "idle; waiting for a consumer to open Orbelune";
    const std::string exited = "producer exited unexpectedly";
    const std::string stop = "no demand for 1000 ms; stopping producer";
    const struct {
        Lines lines;
        bool ok;
    } kCases[] = {
        {{"agent starting", idle, demand, started, stop, idle}, true},
        {{"agent starting", idle, demand, started, exited, demand, started}, true},
        {{"agent starting", demand, started, exited, idle, demand}, true},
        {{"agent starting", demand, "producer exe not found: x", idle, demand}, true},
        {{"agent starting", idle, idle}, false},
        {{"agent starting", started}, false},
        {{"agent starting", demand, started, demand, started}, false},
        {{"agent starting", idle, exited}, false},
        {{"agent starting", demand, started, exited, stop}, false},
        {{"agent starting", stop}, false},
        {{"agent starting", demand, started, "no demand for 8000 ms; stopping producer"}, false},
        {{"agent starting", "disabled via config; stopping producer"}, false},
        {{idle}, false},
        {{"agent starting", demand, idle}, false},
        {{"agent starting", idle, kFallbackLine, kFallbackPublishedLine, demand, started}, true},
        {{"agent starting", kFallbackLine, kFallbackPublishedLine, kFallbackLine,
          kFallbackPublishedLine},
         false},
        {{"agent starting", kFallbackLine, idle}, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FirstBadLine(c.lines, 1000).empty(), c.ok) << FirstBadLine(c.lines, 1000);
    }
}

// One reading of the agent's process from outside.
struct Sample {
    DWORD handles = 0;
    SIZE_T workingSet = 0;
};

// Terminates every running stand-in, as a crash would end it.
void KillProducers() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, kProducerName) == 0) {
            UniqueHandle process(
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
            TerminateProcess(process.Get(), 9);
            WaitForSingleObject(process.Get(), 5000);
        }
    }
}

// A whole number from the environment, or `fallback` when it is not set or not a number.
unsigned long EnvironmentNumber(const wchar_t* name, unsigned long fallback) {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(name, text, 32);
    if (length == 0 || length >= 32) {
        return fallback;
    }
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    return end != text && *end == L'\0' ? value : fallback;
}

size_t CountOf(const std::string& text, std::string_view needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

TEST(SoakTest, AgentStaysSteadyUnderSwitchingDemand) {
    const DWORD seconds = EnvironmentNumber(L"ORBELUNE_SOAK_SECONDS", 60);
    const unsigned seed = EnvironmentNumber(L"ORBELUNE_SOAK_SEED", 1);
    std::printf("soak: %lu s, seed %u\n", static_cast<unsigned long>(seconds), seed);
    std::mt19937 random(seed);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };

    const SettingsKey settings;
    settings.SetDword(L"IdleStopMs", kIdleStopMs);
    const ScratchFolder folder(L"soak");
    folder.CopyProgram(L"orbelune_vcam_agent.exe");
    folder.CopyProgram(kProducerName);
    const std::wstring modeFile = folder.Path() + L"\\standin-producer.mode";

    const LogCursor log;
    ChildProcess agent =
        Launch(L"\"" + folder.Path() + L"\\orbelune_vcam_agent.exe\"", folder.Path());
    ASSERT_TRUE(log.WaitFor("agent starting", 20000));

    std::vector<Sample> samples;
    int mostProducers = 0;
    int cycles = 0, exitCycles = 0;
    size_t kills = 0;
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ull;
    while (GetTickCount64() < deadline && agent.IsRunning()) {
        ++cycles;
        // A cycle of 2 to 5 s: demand and heartbeat each on for part of it or not at all.
        static const double kOn[] = {0, 0, 0.3, 1, 2, 4};
        const double cycle = 2 + random() % 4;
        const double demand = kOn[random() % std::size(kOn)];
        const double heartbeat = kOn[random() % std::size(kOn)];
        const bool startTick = chance(20);
        const bool exitAtOnce = chance(10);
        if (exitAtOnce) {
            ++exitCycles;
            UniqueHandle file(CreateFileW(modeFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            WriteFile(file.Get(), "exit", 4, &written, nullptr);
        }
        wchar_t options[160];
        swprintf(options, std::size(options),
                 L" --print-every 0 --for %.1f --%ls %.1f --heartbeat %.1f", cycle,
                 startTick ? L"consumer-start" : L"demand", demand, heartbeat);
        ChildProcess peer =
            Launch(L"\"" + BuildFolder() + L"\\orbelune_vcam_peer.exe\"" + options, {}, true);
        const ULONGLONG cycleEnd = GetTickCount64() + static_cast<ULONGLONG>(cycle * 1000);
        ULONGLONG killAt =
            chance(30) ? GetTickCount64() + random() % static_cast<unsigned>(cycle * 1000) : 0;
        while (GetTickCount64() < cycleEnd) {
            if (killAt != 0 && GetTickCount64() >= killAt && CountProcesses(kProducerName) > 0) {
                KillProducers();
                ++kills;
                killAt = 0;
            }
            mostProducers = std::max(mostProducers, CountProcesses(kProducerName));
            Sample sample;
            PROCESS_MEMORY_COUNTERS memory = {};
            memory.cb = sizeof memory;
            sample.handles = HandleCountOf(agent.process.Get(), agent.processId);
            ASSERT_GT(sample.handles, 0u);
            ASSERT_TRUE(GetProcessMemoryInfo(agent.process.Get(), &memory, sizeof memory));
            sample.workingSet = memory.WorkingSetSize;
            samples.push_back(sample);
            Sleep(200);
        }
        EXPECT_TRUE(peer.WaitForExit(10000));
        if (exitAtOnce) {
            DeleteFileW(modeFile.c_str());
        }
    }
    ASSERT_TRUE(agent.IsRunning()) << "the agent ended during the soak";
    EXPECT_LE(mostProducers, 1);

    // Flat: the largest reading of the last fifth against the largest of the first fifth, with
    // room for what a pass holds open for a moment (the producer's handles, the log file, the
    // settings key) and for the heap settling.
    ASSERT_GE(samples.size(), 50u);
    const size_t fifth = samples.size() / 5;
    const auto most = [](auto begin, auto end, auto field) {
        decltype(field(*begin)) largest = 0;
        for (auto it = begin; it != end; ++it) {
            largest = std::max(largest, field(*it));
        }
        return largest;
    };
    const auto handles = [](const Sample& s) { return s.handles; };
    const auto workingSet = [](const Sample& s) { return s.workingSet; };
    const DWORD firstHandles = most(samples.begin(), samples.begin() + fifth, handles);
    const DWORD lastHandles = most(samples.end() - fifth, samples.end(), handles);
    const SIZE_T firstSet = most(samples.begin(), samples.begin() + fifth, workingSet);
    const SIZE_T lastSet = most(samples.end() - fifth, samples.end(), workingSet);
    std::printf(
        "soak: %d cycles, %zu kills, %d exit-at-once cycles, %zu samples; handles %lu -> "
        "%lu, working set %zu KiB -> %zu KiB (smallest %zu KiB)\n",
        cycles, kills, exitCycles, samples.size(), static_cast<unsigned long>(firstHandles),
        static_cast<unsigned long>(lastHandles), firstSet / 1024, lastSet / 1024,
        std::min_element(
            samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) {
                return a.workingSet < b.workingSet;
            })->workingSet /
            1024);
    EXPECT_LE(lastHandles, firstHandles + 6);
    EXPECT_LE(lastSet, firstSet + firstSet / 5 + 1024 * 1024);

    // Let the last demand lapse into an idle stop, then read the whole story.
    Sleep(2500 + kIdleStopMs + 1500);
    agent.Kill();
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kProducerName) == 0; }, 5000));
    const std::vector<std::string> lines = LogMessages(log.NewText());
    EXPECT_EQ(FirstBadLine(lines, kIdleStopMs), "");
    const std::string records = ReadFileBytes(folder.Path() + L"\\standin-producer.log");
    const size_t starts = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("producer started (");
    });
    // Every process recorded its start unless it was killed before it could.
    const size_t recorded = CountOf(records, "start pid=");
    EXPECT_LE(recorded, starts);
    EXPECT_LE(starts, recorded + kills);
    EXPECT_GT(starts, 0u);
}

}  // namespace
}  // namespace orbelune
