// The agent under Wine for a long run (ORBELUNE_SOAK_SECONDS, default 20; seed
// ORBELUNE_SOAK_SEED) while the peer simulator switches demand and the consumer heartbeat on
// and off every few seconds and the stand-in producer now and then dies: the agent never
// crashes, never runs two producers, keeps its handle count and working set flat (read from
// outside), and writes only the lines its rules give, in an order they allow.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr wchar_t kProducer[] = L"orbelune_windows_retouch_vcam_producer.exe";

// The first line the loop's rules do not allow where it stands, or nothing. The settings stay
// enabled with an idle time of 1000 ms and one camera index throughout, so the disabled line
// never belongs and the capabilities are published once (Wine has no camera: the fallback).
std::string FirstBadLine(const std::vector<std::string>& lines) {
    const std::string demand = "demand detected; starting producer";
    const std::string fallback =
        "camera capability enumeration failed/empty; using 1280x720@30 fallback";
    bool running = false, idleReported = false, published = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string previous = i > 0 ? lines[i - 1] : "";
        bool fits = i > 0 || line == "agent starting";
        if (line == demand) {
            fits = fits && !running;
            idleReported = false;
        } else if (line == "producer started (camera-index=0 provider=directml)") {
            fits = previous == demand;
            running = true;
        } else if (line == "producer exited unexpectedly" ||
                   line == "no demand for 1000 ms; stopping producer") {
            fits = running;
            running = false;
        } else if (line == "idle; waiting for a consumer to open Orbelune") {
            fits = fits && !running && !idleReported;
            idleReported = true;
        } else if (line == fallback) {
            fits = fits && !published;
        } else if (line == "published 1 native camera capability tuple(s)") {
            fits = previous == fallback;
            published = true;
        } else {
            fits = fits && line == "agent starting" && i == 0;
        }
        if (!fits) {
            return "line " + std::to_string(i) + ": " + line;
        }
    }
    return {};
}

unsigned long EnvironmentNumber(const wchar_t* name, unsigned long fallback) {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(name, text, 32);
    return length > 0 && length < 32 ? std::wcstoul(text, nullptr, 10) : fallback;
}

TEST(SoakTest, AgentStaysSteadyUnderSwitchingDemand) {
    const unsigned long seconds = EnvironmentNumber(L"ORBELUNE_SOAK_SECONDS", 20);
    const unsigned long seed = EnvironmentNumber(L"ORBELUNE_SOAK_SEED", 1);
    std::mt19937 random(seed);
    const auto chance = [&](unsigned percent) { return random() % 100 < percent; };
    const SettingsKey settings;
    settings.SetDword(L"IdleStopMs", 1000);
    const ScratchFolder folder(L"soak");
    folder.CopyProgram(kProducer);
    const std::wstring mode = folder.Path() + L"\\standin-producer.mode";
    const LogCursor log;
    ChildProcess agent = Launch(folder.CopyProgram(L"orbelune_vcam_agent.exe"), L"", folder.Path());
    ASSERT_TRUE(log.WaitFor("agent starting", 20000));

    std::vector<std::pair<DWORD, SIZE_T>> samples;  // handles and working set
    size_t mostProducers = 0, kills = 0;
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < deadline && agent.IsRunning()) {
        // A cycle of 2 to 5 s: demand and heartbeat each on for part of it or not at all; now
        // and then a producer that exits at once, or one killed during the cycle.
        static const wchar_t* const kOn[] = {L"0", L"0", L"0.3", L"1", L"2", L"4"};
        const unsigned cycleMs = 2000 + random() % 4 * 1000;
        if (chance(10)) {
            const UniqueHandle file(CreateFileW(mode.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            WriteFile(file.Get(), "exit", 4, &written, nullptr);
        }
        const ChildProcess peer =
            StartPeer(L"--for " + std::to_wstring(cycleMs / 1000) +
                      (chance(20) ? L" --consumer-start " : L" --demand ") + kOn[random() % 6] +
                      L" --heartbeat " + kOn[random() % 6]);
        const ULONGLONG cycleEnd = GetTickCount64() + cycleMs;
        ULONGLONG killAt = chance(30) ? GetTickCount64() + random() % cycleMs : 0;
        while (GetTickCount64() < cycleEnd) {
            const std::vector<DWORD> producers = ProcessIdsOf(kProducer);
            mostProducers = std::max(mostProducers, producers.size());
            if (killAt != 0 && GetTickCount64() >= killAt && !producers.empty()) {
                // As a crash would end it.
                const UniqueHandle victim(OpenProcess(PROCESS_TERMINATE, FALSE, producers[0]));
                kills += TerminateProcess(victim.Get(), 9) ? 1 : 0;
                killAt = 0;
            }
            PROCESS_MEMORY_COUNTERS memory = {};
            ASSERT_TRUE(GetProcessMemoryInfo(agent.process.Get(), &memory, sizeof memory));
            samples.emplace_back(
                HandleCountOf(agent.process.Get(), GetProcessId(agent.process.Get())),
                memory.WorkingSetSize);
            ASSERT_GT(samples.back().first, 0u);
            Sleep(200);
        }
        EXPECT_EQ(WaitForSingleObject(peer.process.Get(), 10000), WAIT_OBJECT_0);
        DeleteFileW(mode.c_str());
    }
    ASSERT_TRUE(agent.IsRunning()) << "the agent ended during the soak";
    EXPECT_LE(mostProducers, 1u);

    // Flat: the largest reading of the last fifth against the largest of the first fifth, with
    // room for what a pass holds open for a moment (the producer's handles, the log file, the
    // settings key) and for the heap settling.
    ASSERT_GE(samples.size(), 20u);
    const auto fifth = static_cast<std::ptrdiff_t>(samples.size() / 5);
    const auto first = *std::max_element(samples.begin(), samples.begin() + fifth);
    const auto last = *std::max_element(samples.end() - fifth, samples.end());
    const auto firstSet =
        std::max_element(samples.begin(), samples.begin() + fifth, [](auto a, auto b) {
            return a.second < b.second;
        })->second;
    const auto lastSet = std::max_element(samples.end() - fifth, samples.end(), [](auto a, auto b) {
                             return a.second < b.second;
                         })->second;
    std::printf(
        "soak: %lu s, seed %lu, %zu kills; handles %lu -> %lu, working set %zu -> %zu KiB\n",
        seconds, seed, kills, first.first, last.first, firstSet / 1024, lastSet / 1024);
    EXPECT_LE(last.first, first.first + 6);
    EXPECT_LE(lastSet, firstSet + firstSet / 5 + 1024 * 1024);

    // Let the last demand lapse into an idle stop, then read the whole story: the lines in an
    // order the rules allow, and a start record for every start but those killed before it.
    EXPECT_TRUE(WaitUntil([] { return ProcessIdsOf(kProducer).empty(); }, 10000));
    agent.Kill();
    const std::vector<std::string> lines = log.NewMessages();
    EXPECT_EQ(FirstBadLine(lines), "");
    const std::string records = ReadFileBytes(folder.Path() + L"\\standin-producer.log");
    size_t recorded = 0;
    for (size_t at = records.find("start pid="); at != std::string::npos;
         at = records.find("start pid=", at + 1)) {
        ++recorded;
    }
    const auto starts = static_cast<size_t>(std::ranges::count_if(
        lines, [](const std::string& line) { return line.starts_with("producer started ("); }));
    EXPECT_GT(starts, 0u);
    EXPECT_LE(recorded, starts);
    EXPECT_LE(starts, recorded + kills);
}

}  // namespace
}  // namespace orbelune
