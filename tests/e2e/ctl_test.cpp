// The control tool beside the whole agent under Wine. (agent_run_win.h brings the fixture.)
#include "tests/support/agent_run_win.h"

namespace orbelune {
namespace {

using namespace testing;

// A copy of the agent under another name, started at logon under it, is found by its version
// resource, with the producer it started as its child. A producer that is a program library, or a
// folder, is Windows' refusal of a start with the agent's own command line, before any demand.
TEST_F(AgentTest, DoctorAsksWindowsAndTheRunningAgent) {
    const std::wstring agent = folder_.CopyProgram(L"orbelune_vcam_agent.exe", L"helper.exe");
    const std::wstring entry = L"\"" + agent + L"\"";
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"OrbeluneCameraAgent", REG_SZ, entry.c_str(),
                    static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(Ctl(L"doctor").out.rfind("1. no agent runs in this session\n", 0), 0u);
    agent_ = Launch(agent, L"", Folder());
    peer_ = StartPeer(L"--demand 60 --heartbeat 60");
    ASSERT_TRUE(WaitUntil([] { return Producers() == 1; }, kDeadlineMs));
    const CtlResult doctor = Ctl(L"doctor");
    EXPECT_EQ(doctor.exitCode, 0u);
    EXPECT_EQ(doctor.out.rfind("nothing wrong found", 0), 0u) << doctor.out;
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"OrbeluneCameraAgent");

    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring library = Folder() + L"\\producer.dll";
    ASSERT_TRUE(CopyFileW((system + std::wstring(L"\\version.dll")).c_str(), library.c_str(), 0));
    for (const auto& [exe, problem] :
         {std::pair{library,
                    "start the producer at the next demand: ProducerExe is not a program\n"},
          {Folder(),
           "start the producer at the next demand: ProducerExe is a folder, not a program\n"}}) {
        settings_.SetString(L"ProducerExe", exe);
        const CtlResult found = Ctl(L"doctor");
        EXPECT_EQ(found.exitCode, 1u);
        EXPECT_NE(found.out.find(problem), std::string::npos) << found.out;
        EXPECT_NE(found.out.find("evidence: Windows refuses to start it with the agent's command "
                                 "line: "),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace orbelune
