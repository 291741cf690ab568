// A long run of the whole agent with demand switching on and off: it stays steady.
#include "tests/support/agent_run_win.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace orbelune {
namespace {

using namespace testing;

// The handles a process holds. GetProcessHandleCount is the way on Windows; Wine 8 answers it
// with 0, so then every handle value the process could hold is duplicated in turn, and those
// that exist are counted.
DWORD HandleCountOf(HANDLE process) {
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0) {
        return count;
    }
    for (unsigned long value = 4; value < 0x4000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, ULongToHandle(value), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++count;
        }
    }
    return count;
}

// The soak: ORBELUNE_SOAK_SECONDS long (default 10), its random choices from ORBELUNE_SOAK_SEED.
// The agent never crashes, never runs two producers, keeps its handle count and working set
// flat (read from outside), starts a producer only on demand and reports every end of one.
TEST_F(AgentTest, StaysSteadyUnderSwitchingDemand) {
    const wchar_t* const length = _wgetenv(L"ORBELUNE_SOAK_SECONDS");
    const wchar_t* const start = _wgetenv(L"ORBELUNE_SOAK_SEED");
    const ULONGLONG seconds = length != nullptr ? std::wcstoul(length, nullptr, 10) : 10;
    const unsigned long seed = start != nullptr ? std::wcstoul(start, nullptr, 10) : 1;
    std::mt19937 random(seed);
    const auto chance = [&](unsigned percent) { return random() % 100 < percent; };
    StartAgent();
    // The largest handle count and working set in the first and in the last fifth of the run.
    DWORD handles[2] = {};
    SIZE_T workingSet[2] = {};
    size_t mostProducers = 0;
    std::ptrdiff_t kills = 0;
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000;
    while (GetTickCount64() < deadline && agent_.IsRunning()) {
        // A cycle of 2 to 5 s: demand and heartbeat each on for part of it or not at all; now
        // and then a producer that exits at once, or one killed during the cycle.
        static const wchar_t* const kOn[] = {L"0", L"0", L"0.3", L"1", L"2", L"4"};
        const unsigned cycleMs = 2000 + random() % 4 * 1000;
        SetMode(chance(10) ? "exit" : "run");
        peer_ = StartPeer(L"--for " + std::to_wstring(cycleMs / 1000) +
                          (chance(20) ? L" --consumer-start " : L" --demand ") + kOn[random() % 6] +
                          L" --heartbeat " + kOn[random() % 6]);
        const ULONGLONG cycleEnd = GetTickCount64() + cycleMs;
        ULONGLONG killAt = chance(30) ? GetTickCount64() + random() % cycleMs : 0;
        while (GetTickCount64() < cycleEnd) {
            const std::vector<DWORD> producers = ProcessIdsOf(kProducer);
            mostProducers = std::max(mostProducers, producers.size());
            if (killAt != 0 && GetTickCount64() >= killAt && !producers.empty()) {
                const UniqueHandle victim(OpenProcess(PROCESS_TERMINATE, FALSE, producers[0]));
                kills += TerminateProcess(victim.Get(), 9) ? 1 : 0;  // as a crash would end it
                killAt = 0;
            }
            PROCESS_MEMORY_COUNTERS memory = {};
            ASSERT_TRUE(GetProcessMemoryInfo(agent_.process.Get(), &memory, sizeof memory));
            const DWORD count = HandleCountOf(agent_.process.Get());
            ASSERT_GT(count, 0u);
            const ULONGLONG left = deadline - std::min(deadline, GetTickCount64());
            if (left > seconds * 800 || left < seconds * 200) {
                const int fifth = left < seconds * 200 ? 1 : 0;
                handles[fifth] = std::max(handles[fifth], count);
                workingSet[fifth] = std::max(workingSet[fifth], memory.WorkingSetSize);
            }
            Sleep(200);
        }
        EXPECT_EQ(WaitForSingleObject(peer_.process.Get(), 10000), WAIT_OBJECT_0);
    }
    ASSERT_TRUE(agent_.IsRunning()) << "the agent ended during the soak";
    EXPECT_LE(mostProducers, 1u);
    // Flat, with room for what a pass holds open for a moment (the producer's handles, the log
    // file, the settings key) and for the heap settling.
    std::printf(
        "soak: %llu s, seed %lu, %td kills; handles %lu -> %lu, working set %zu -> %zu KiB\n",
        seconds, seed, kills, handles[0], handles[1], workingSet[0] / 1024, workingSet[1] / 1024);
    EXPECT_LE(handles[1], handles[0] + 6);
    EXPECT_LE(workingSet[1], workingSet[0] + workingSet[0] / 5 + (SIZE_T{1} << 20));

    // Once the last demand has lapsed into an idle stop: only lines the rules give here (the
    // settings enabled, one camera index published once), every start after its demand line,
    // and every start ended.
    EXPECT_TRUE(WaitUntil([] { return ProcessIdsOf(kProducer).empty(); }, 10000));
    agent_.Kill();
    std::vector<std::string> lines = log_.NewMessages();
    EXPECT_EQ(std::erase(lines,
                         "camera capability enumeration failed/empty; using 1280x720@30 "
                         "fallback") +
                  std::erase(lines, "published 1 native camera capability tuple(s)"),
              2u);
    const auto count = [&](std::string_view line) { return std::ranges::count(lines, line); };
    const auto starts = count("producer started (camera-index=0 provider=directml)");
    const auto ends =
        count("producer exited unexpectedly") + count("no demand for 1000 ms; stopping producer");
    EXPECT_EQ(count("agent starting") + count(kDemandLine) + starts + ends + count(kIdleLine),
              std::ssize(lines));
    EXPECT_EQ(count(kDemandLine), starts);
    EXPECT_EQ(ends, starts);
    EXPECT_GT(starts, 0);
}

}  // namespace
}  // namespace orbelune
