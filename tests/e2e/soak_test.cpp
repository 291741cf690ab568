// A long run of the whole agent with demand switching on and off: it stays steady.
#include "tests/support/agent_run_win.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace orbelune {
namespace {

using namespace testing;

// The handles a process holds, counted by duplicating every handle value it could hold in turn
// (Wine 8 answers GetProcessHandleCount with 0).
DWORD HandleCountOf(HANDLE process) {
    DWORD count = 0;
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
    std::vector<DWORD> handles;
    std::vector<SIZE_T> workingSet;
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
            handles.push_back(HandleCountOf(agent_.process.Get()));
            workingSet.push_back(memory.WorkingSetSize);
            ASSERT_GT(handles.back(), 0u);
            Sleep(200);
        }
        EXPECT_EQ(WaitForSingleObject(peer_.process.Get(), kDeadlineMs), WAIT_OBJECT_0);
    }
    ASSERT_TRUE(agent_.IsRunning() && !handles.empty()) << "the agent ended during the soak";
    EXPECT_LE(mostProducers, 1u);
    // Flat from the first fifth of the samples to the last, however long the start took, with
    // room for what a pass holds open for a moment (the producer's handles, the log file, the
    // settings key) and for the heap settling.
    const std::ptrdiff_t fifth = std::max<std::ptrdiff_t>(1, std::ssize(handles) / 5);
    const auto most = [&](auto from) { return *std::max_element(from, from + fifth); };
    const DWORD handlesFirst = most(handles.begin()), handlesLast = most(handles.end() - fifth);
    const SIZE_T setFirst = most(workingSet.begin()), setLast = most(workingSet.end() - fifth);
    std::printf(
        "soak: %llu s, seed %lu, %td kills; handles %lu -> %lu, working set %zu -> %zu KiB\n",
        seconds, seed, kills, handlesFirst, handlesLast, setFirst / 1024, setLast / 1024);
    EXPECT_LE(handlesLast, handlesFirst + 6);
    EXPECT_LE(setLast, setFirst + setFirst / 5 + (SIZE_T{1} << 20));

    // Once the last demand has lapsed into an idle stop and every producer's end is logged (a
    // kill near the end is noticed at the agent's next pass): only lines the rules give here
    // (the settings enabled, one camera index published once), every start after its demand
    // line, and every start ended.
    std::vector<std::string> lines;
    const auto count = [&](std::string_view line) { return std::ranges::count(lines, line); };
    const auto starts = [&] {
        return count("producer started (camera-index=0 provider=directml)");
    };
    const auto ends = [&] {
        return count("producer exited unexpectedly") +
               count("no demand for 1000 ms; stopping producer");
    };
    EXPECT_TRUE(WaitUntil(
        [&] {
            lines = log_.NewMessages();
            return ProcessIdsOf(kProducer).empty() && ends() == starts();
        },
        kDeadlineMs));
    agent_.Kill();
    EXPECT_EQ(std::erase(lines,
                         "camera capability enumeration failed/empty; using 1280x720@30 "
                         "fallback") +
                  std::erase(lines, "published 1 native camera capability tuple(s)"),
              2u);
    EXPECT_EQ(count("agent starting") + count(kDemandLine) + starts() + ends() + count(kIdleLine),
              std::ssize(lines));
    EXPECT_EQ(count(kDemandLine), starts());
    EXPECT_GT(starts(), 0);
}

}  // namespace
}  // namespace orbelune
