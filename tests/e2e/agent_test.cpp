// The whole agent under Wine with the peer simulator and the stand-in producer: the producer
// runs exactly while the peer shows demand, as the settings in the registry say; the virtual
// camera is told the camera's formats and the applications using a camera; the control tool
// shows and changes all of it. (agent_run_win.h brings Windows, GoogleTest and the fixture.)
#include <regex>
#include <tuple>

#include "consumers/consent_store.h"
#include "orbelune/vcam_snapshot.h"
#include "tests/support/agent_run_win.h"

namespace orbelune {
namespace {

using namespace testing;

TEST_F(AgentTest, StartsOnDemandAsConfiguredAndStopsWhenIdle) {
    settings_.SetDword(L"CameraIndex", 0xFFFFFFFF);
    settings_.SetString(L"Provider", L"a\"b");
    settings_.SetString(L"ProducerExe", L"C:\\no\\such.exe");
    StartAgent(L"--ignored \"with space\" /q");
    EXPECT_TRUE(
        UniqueHandle(OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\OrbeluneAgentSingleton")).IsValid());
    const ChildProcess second = Launch(Folder() + L"\\orbelune_vcam_agent.exe", L"", Folder());
    DWORD exitCode = 1;
    EXPECT_EQ(WaitForSingleObject(second.process.Get(), kDeadlineMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(second.process.Get(), &exitCode) && exitCode == 0);

    // A missing producer is reported and tried again at every pass while demand lasts.
    ASSERT_TRUE(log_.WaitFor(kIdleLine, kDeadlineMs));
    peer_ = StartPeer(L"--demand 4");
    const std::string missing = "producer exe not found: C:\\no\\such.exe";
    ASSERT_TRUE(WaitUntil([&] { return std::ranges::count(log_.NewMessages(), missing) > 1; },
                          kDeadlineMs));
    folder_.CopyProgram(kProducer, L"other.exe");
    CreateDirectoryW((Folder() + L"\\sub").c_str(), nullptr);
    settings_.SetString(L"RepoRoot", Folder() + L"/sub/");
    settings_.SetString(L"ProducerExe", Folder() + L"\\sub\\..\\other.exe");
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitUntil(
        [&] { return (lines = log_.NewMessages()).back() == kIdleLine && lines.size() > 8; },
        kDeadlineMs));
    // The capabilities published once the peer's section could be opened, not before; the
    // producer stopped after the idle time.
    EXPECT_EQ(std::erase(lines, "agent already running in this session; exiting"), 1u);
    EXPECT_EQ(
        std::vector(lines.begin() + 1, lines.begin() + 6),
        (std::vector<std::string>{
            kIdleLine, "camera capability enumeration failed/empty; using 1280x720@30 fallback",
            "published 1 native camera capability tuple(s)", kDemandLine, missing}));
    EXPECT_EQ(std::vector(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"producer started (camera-index=-1 provider=a\"b)",
                                        "no demand for 1000 ms; stopping producer", kIdleLine}));
    // The command line as configured and as the producer's runtime splits it; the negative
    // index reaches the virtual camera as 0.
    const std::string folder(Folder().begin(), Folder().end());
    EXPECT_NE(Records().find("raw=\"" + folder + "\\other.exe\" \"--camera\" \"--no-mirror\" " +
                             "\"--provider\" \"a\\\"b\" \"--camera-index\" \"-1\" " +
                             "\"--repo-root\" \"" + folder + "\\sub\\\"\r\nargv[0]="),
              std::string::npos)
        << Records();
    EXPECT_NE(Records().find("argv[4]=a\"b\r\nargv[5]=--camera-index\r\nargv[6]=-1\r\n"),
              std::string::npos);
    // The index is written at every pass, a negative one as 0, over whatever stood there.
    StampControl(12, 7);
    EXPECT_TRUE(WaitUntil([] { return ControlCameraIndex() == 0; }, kDeadlineMs));
}

TEST_F(AgentTest, RestartsAfterAnExitObeysDisableAndTakesItsChildrenAlong) {
    SetMode("exit");
    StartAgent();
    peer_ = StartPeer(L"--demand 60");
    // The exit is noticed, and the producer started again in the same pass.
    static const std::regex kRestart(
        "producer exited unexpectedly\r\n.{20}demand detected; starting producer\r\n.{20}"
        "producer started \\(camera-index=0 provider=directml\\)\r\n");
    EXPECT_TRUE(
        WaitUntil([&] { return std::regex_search(log_.NewText(), kRestart); }, kDeadlineMs));
    SetMode("run");
    ASSERT_TRUE(WaitUntil([] { return Producers() == 1; }, kDeadlineMs));
    // Disabled: the producer stops while demand goes on.
    settings_.SetDword(L"Enabled", 0);
    ASSERT_TRUE(log_.WaitFor("disabled via config; stopping producer\r\n", kDeadlineMs));
    EXPECT_TRUE(WaitUntil([] { return Producers() == 0; }, kDeadlineMs));

    // Enabled again, with a producer that starts a child: killing the agent ends both.
    SetMode("child");
    settings_.SetDword(L"Enabled", 1);
    ASSERT_TRUE(
        WaitUntil([&] { return Records().find("child pid=") != std::string::npos; }, kDeadlineMs));
    EXPECT_EQ(Producers(), 2u);
    agent_.Kill();
    EXPECT_TRUE(WaitUntil([] { return Producers() == 0; }, kDeadlineMs));
}

TEST_F(AgentTest, TellsTheCameraItsFormatsAndWhoUsesIt) {
    // A running zoom.exe that the consent store lists as using a camera, and a virtual camera
    // that wants frames with a consumer present but stamps a control block of version 1.
    const ConsentStore store;
    const std::wstring zoom = folder_.CopyProgram(kProducer, L"zoom.exe");
    const ULONGLONG start = 133000000000000000;
    store.App(zoom, start);
    const ChildProcess app = Launch(zoom);
    settings_.SetDword(L"CameraIndex", 2);
    peer_ = StartPeer(L"--control-version 1 --demand 60 --heartbeat 60");
    StartAgent();

    const auto consumers = [] {
        const SectionCopy block = CopySection(L"OrbeluneVcamConsumers.v1", 608);
        vcam::ConsumersSnapshot snapshot;  // as it was unless the snapshot is accepted
        static_cast<void>(
            vcam::SnapshotConsumers({block.bytes.data(), block.bytes.size()}, snapshot));
        return snapshot;
    };
    const auto publications = [&] {
        return std::ranges::count(log_.NewMessages(),
                                  "published 1 native camera capability tuple(s)");
    };
    // A control block that is not valid counts as missing: no demand, no consumer (the empty
    // list, rewritten once a second), no camera index written into it.
    ASSERT_TRUE(WaitUntil([&] { return consumers().sequence >= 2; }, kDeadlineMs));
    EXPECT_EQ(std::tuple(consumers().count, Producers(), ControlCameraIndex()),
              std::tuple(0u, size_t{0}, 0u));
    StampControl(4, 2);
    ASSERT_TRUE(WaitUntil([&] { return consumers().count == 1; }, kDeadlineMs));
    EXPECT_EQ(consumers().consumers[0].lastUsedStart, start);
    EXPECT_TRUE(
        WaitUntil([] { return Producers() == 1 && ControlCameraIndex() == 2; }, kDeadlineMs));
    // The control tool shows them as the agent sees them, the agent by its file name once its image
    // is moved away, and the log's last lines; Wine has no camera: the fallback format.
    std::filesystem::rename(Folder() + L"\\orbelune_vcam_agent.exe", Folder() + L"\\moved.exe");
    const std::string status = Ctl(L"status").out;
    for (const char* expected :
         {"agent: running in this session, process id ",
          "capabilities block (Local\\OrbeluneVcamCapabilities.v1): valid, magic 0x4F425650 "
          "version 1\n  cameraIndex 2, count 1, sequence 1\n  [0] 1280x720@30/1\n",
          "  [0] \"Zoom\" identity \"zoom.exe\", desktop, started 2022-",
          " producer started (camera-index=2 provider=directml)\n"}) {
        EXPECT_NE(status.find(expected), std::string::npos) << expected << " in\n" << status;
    }

    settings_.SetDword(L"CameraIndex", 3);
    ASSERT_TRUE(WaitUntil([&] { return publications() == 2; }, kDeadlineMs));
    EXPECT_TRUE(WaitUntil([] { return ControlCameraIndex() == 3; }, kDeadlineMs));
    // Another magic: missing again, so the empty list and, after the idle time, no producer.
    StampControl(0, 0x4F425644);
    ASSERT_TRUE(WaitUntil([&] { return consumers().count == 0; }, kDeadlineMs));
    EXPECT_TRUE(log_.WaitFor("no demand for 1000 ms; stopping producer", kDeadlineMs));

    // The integrator's example as the virtual camera, the agent started again once its sections
    // are there (under Global\, which Wine lets any program create): it finds no agent at first,
    // then from its snapshots it prints the fallback format and the consumer.
    agent_.Kill();
    peer_.Kill();
    const ScratchFolder example(L"example");
    const std::wstring out = example.Path() + L"\\out";
    peer_ = Launch(BuildFolder() + L"\\vcam_peer_example.exe", L"60", {}, OutputFile(out).Get());
    ASSERT_TRUE(WaitUntil(
        [] { return CopySection(L"OrbeluneVcamConsumers.v1", 608).name.starts_with(L"Global"); },
        kDeadlineMs));
    StartAgent();
    static const std::string_view kPrinted[] = {"sections created\r\nno agent\r\n",
                                                "agent running\r\n",
                                                "camera 3, 1 format(s):\r\n  1280x720@30/1\r\n",
                                                "1 consumer(s):\r\n  Zoom (zoom.exe, desktop)\r\n"};
    std::string printed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            printed = ReadFileBytes(out);
            return std::ranges::all_of(
                kPrinted, [&](auto part) { return printed.find(part) != printed.npos; });
        },
        kDeadlineMs))
        << printed;
    peer_.Kill();
    // The formats were published once for each camera index by the first agent, once by this.
    EXPECT_EQ(publications(), 3);
}

}  // namespace
}  // namespace orbelune
