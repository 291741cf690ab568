// The control tool beside the whole agent under Wine, judging by what Windows and the running
// agent answer: an agent under another file name, and producers that Windows cannot start.
// (agent_run_win.h brings Windows, GoogleTest and the fixture.)
#include "common/text.h"
#include "common/text_win.h"
#include "tests/support/agent_run_win.h"

namespace orbelune {
namespace {

using namespace testing;

// A copy of the agent under another name, started at logon under it: found by its version
// resource, with its own folder for the defaults and the producer it started as its child.
TEST_F(AgentTest, DoctorKnowsTheAgentByWhatItIs) {
    const std::wstring agent = folder_.CopyProgram(L"orbelune_vcam_agent.exe", L"helper.exe");
    const std::wstring entry = L"\"" + agent + L"\"";
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"OrbeluneCameraAgent", REG_SZ, entry.c_str(),
                    static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
    agent_ = Launch(agent, L"", Folder());
    peer_ = StartPeer(L"--demand 60 --heartbeat 60");
    ASSERT_TRUE(WaitUntil([] { return Producers() == 1; }, kDeadlineMs));
    const CtlResult doctor = Ctl(L"doctor");
    EXPECT_EQ(doctor.exitCode, 0u);
    EXPECT_EQ(doctor.out.rfind("nothing wrong found", 0), 0u) << doctor.out;
    const std::string folder = ToUtf8(ToU16(Folder()));
    const std::string status = Ctl(L"status").out;
    for (const std::string& expected :
         {"defaults in " + folder + ", the running agent's folder):\n",
          "  ProducerExe  " + folder + "\\orbelune_windows_retouch_vcam_producer.exe  (default)\n",
          "agent: running in this session, process id " +
              std::to_string(GetProcessId(agent_.process.Get())) + ", " + folder +
              "\\helper.exe\n"}) {
        EXPECT_NE(status.find(expected), std::string::npos) << expected << " in\n" << status;
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"OrbeluneCameraAgent");
}

// Before any demand, a producer that is a program library, or a folder, is Windows' refusal of
// a start with the agent's own command line.
TEST_F(AgentTest, DoctorAsksWindowsWhetherTheProducerStarts) {
    StartAgent();
    peer_ = StartPeer(L"");
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring library = Folder() + L"\\producer.dll";
    ASSERT_TRUE(
        CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), library.c_str(), FALSE));
    const struct {
        std::wstring exe;
        std::string problem;
    } kCases[] = {
        {library,
         "the agent cannot start the producer at the next demand: ProducerExe is not a "
         "program\n  evidence: ProducerExe = "},
        {Folder(),
         "the agent cannot start the producer at the next demand: ProducerExe is a "
         "folder, not a program\n"},
    };
    for (const auto& c : kCases) {
        settings_.SetString(L"ProducerExe", c.exe);
        const CtlResult doctor = Ctl(L"doctor");
        EXPECT_EQ(doctor.exitCode, 1u);
        EXPECT_NE(doctor.out.find(c.problem), std::string::npos) << doctor.out;
        EXPECT_NE(doctor.out.find("evidence: Windows refuses to start it with the agent's command "
                                  "line: "),
                  std::string::npos);
    }
    EXPECT_EQ(Producers(), 0u);
}

}  // namespace
}  // namespace orbelune
