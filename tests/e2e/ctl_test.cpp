// The control tool beside the whole agent under Wine. (agent_run_win.h brings the fixture.)
#include "common/text.h"
#include "common/text_win.h"
#include "tests/support/agent_run_win.h"

namespace orbelune {
namespace {

using namespace testing;

// Doctor on a copy of the agent under another name, started at logon from the all-users Run
// key's 32-bit view: the agent is found by its version resource, its producer as its child. Each
// fault is named, a producer program by what Windows does with a start of the agent's command
// line (a library, a folder refused; another program started); nothing once all are mended.
TEST_F(AgentTest, DoctorNamesWhatStandsInTheWay) {
    const std::wstring agent = folder_.CopyProgram(L"orbelune_vcam_agent.exe", L"helper.exe");
    const std::wstring entry = L"\"" + agent + L"\"";
    const wchar_t* const run32 = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, run32, L"OrbeluneCameraAgent", REG_SZ, entry.c_str(),
                    static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(Ctl(L"doctor").out.rfind("1. no agent runs in this session\n", 0), 0u);
    const std::wstring library = Folder() + L"\\producer.dll", system = _wgetenv(L"SystemRoot");
    ASSERT_TRUE(CopyFileW((system + L"\\System32\\version.dll").c_str(), library.c_str(), 0));
    settings_.SetString(L"ProducerExe", library);
    // A log of this agent's own: the producer exits of the tests before would read as a loop.
    DeleteFileW(LogPath().c_str());
    log_ = LogCursor();
    agent_ = Launch(agent, L"", Folder());
    peer_ = StartPeer(L"--demand 60 --heartbeat 60");
    // A program library: ERROR_BAD_EXE_FORMAT, with the system's text for it.
    ASSERT_TRUE(log_.WaitFor("failed to start producer: 193 (", kDeadlineMs));
    const auto names = [](const std::string& problem) {
        const CtlResult doctor = Ctl(L"doctor");
        EXPECT_EQ(doctor.exitCode, problem.empty() ? 0u : 1u);
        const std::string expected = problem.empty() ? "nothing wrong found" : problem;
        EXPECT_NE(doctor.out.find(expected), std::string::npos) << expected << " in\n"
                                                                << doctor.out;
    };
    names("1. frames are wanted but no producer runs: ProducerExe is not a program\n");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Orbelune", L"ProducerExe");
    ASSERT_TRUE(WaitUntil([] { return Producers() == 1; }, kDeadlineMs));
    const std::string folder = ToUtf8(ToU16(Folder()));
    settings_.SetString(L"ProducerExe", Folder());
    names("at the next demand: ProducerExe is a folder, not a program\n  evidence: ProducerExe = " +
          folder + "\n  evidence: with the agent's command line, Windows refuses to start it: ");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Orbelune", L"ProducerExe");
    // A debugger that takes no event from the agent holds it frozen.
    ASSERT_TRUE(DebugActiveProcess(GetProcessId(agent_.process.Get())));
    names("1. the agent runs but makes no progress: it is frozen (suspended) or hung\n");
    ASSERT_TRUE(DebugActiveProcessStop(GetProcessId(agent_.process.Get())));
    {
        const ChildProcess stale = StartPeer(L"--namespace global --control-version 1");
        ASSERT_TRUE(WaitUntil(
            [] { return CopySection(L"OrbeluneVcamControl.v2", 80).name.starts_with(L"Global"); },
            kDeadlineMs));
        names(
            "beside this release's Local\\OrbeluneVcamControl.v2: the agent sees no demand "
            "while it works on the former, which it does from its next start on");
    }
    settings_.SetString(L"RepoRoot", Folder() + L"\\");
    names("RepoRoot ends in a backslash, which upsets its quoting: the producer receives " +
          folder + "\" instead of " + folder + "\\\n");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Orbelune", L"RepoRoot");
    names("");
    settings_.SetString(L"ProducerExe", BuildFolder() + L"\\orbelune_vcam_ctl.exe");
    names("1. the producer runs with other settings than those stored now");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Orbelune", L"ProducerExe");
    std::filesystem::rename(agent, agent + L".old");
    names(
        "evidence: HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
        "Run\\OrbeluneCameraAgent = \"" +
        ToUtf8(ToU16(agent)) + "\"\n");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, run32, L"OrbeluneCameraAgent");
}

// Each command's output or error and exit code; `status` shows what was stored as the agent reads
// it. Every command fails when its standard output cannot be written: a script must not read
// "healthy" into output that never came.
TEST_F(AgentTest, ControlToolCommands) {
    // An entry for all users that starts the agent, in the 32-bit view, which Windows runs too.
    const wchar_t* const run32 = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring entry = L"\"" + BuildFolder() + L"\\orbelune_vcam_agent.exe\"";
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, run32, L"OrbeluneCameraAgent", REG_SZ, entry.c_str(),
                        static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    const std::string agent = '"' + ToUtf8(ToU16(BuildFolder())) + "\\orbelune_vcam_agent.exe\"";
    const std::string lost = "orbelune_vcam_ctl: cannot write to standard output\n";
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        std::string output;
        DWORD outAccess = GENERIC_WRITE;
    } kCases[] = {
        {L"start", 2, "orbelune_vcam_ctl: unknown command 'start'"},
        {L"set cameraindex -1", 0, "CameraIndex = -1\n"},
        {L"set Provider \"a b\"", 0, "Provider = \"a b\"\n"},
        {L"set IdleStopMs 04294967295", 0, "IdleStopMs = 4294967295\n"},
        {L"install", 0, "installed: " + agent},
        {L"status", 0, "logon entry: installed, " + agent + "\n"},
        {L"status", 0,
         "  CameraIndex  -1  (registry)\n  Provider     a b  (registry)\n"
         "  Enabled      1  (default)\n  IdleStopMs   4294967295  (registry)\n"},
        {L"cameras", 0, "no camera: Media Foundation lists no video-capture device;"},
        {L"unset provider", 0, "Provider removed"},
        {L"uninstall", 0, "uninstalled: the agent no longer starts at this user's logon; the"},
        {L"uninstall", 0,
         "not installed for this user; nothing to remove; the entry for all users still starts "
         "it\n"},
        {L"status", 0, "  Provider     directml  (default)\n"},
        {L"doctor --json", 1, lost, GENERIC_READ},
        {L"set Provider x", 1, lost, GENERIC_READ},
    };
    for (const auto& c : kCases) {
        const CtlResult result = Ctl(c.arguments, c.outAccess);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_NE((c.exitCode == 0 ? result.out : result.err).find(c.output), std::string::npos)
            << c.output << " in\n"
            << result.out << result.err;
        EXPECT_EQ((c.exitCode == 0 ? result.err : result.out), "");
    }
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, run32, L"OrbeluneCameraAgent");
}

}  // namespace
}  // namespace orbelune
