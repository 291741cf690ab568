// The whole agent under Wine with the peer simulator and the stand-in producer: the producer
// runs exactly while the peer shows demand, as the settings in the registry say, and the
// virtual camera is told the camera's formats and the applications using a camera.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/bytes.h"
#include "common/section_win.h"
#include "common/text_win.h"
#include "consumers/consent_store.h"
#include "tests/support/win_test_support.h"
#include "tools/status_report.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr wchar_t kProducer[] = L"orbelune_windows_retouch_vcam_producer.exe";
constexpr DWORD kDeadlineMs = 20000;
constexpr char kIdleLine[] = "idle; waiting for a consumer to open Orbelune";

size_t Producers(const wchar_t* image = kProducer) {
    return ProcessIdsOf(image).size();
}

// An agent and the stand-in producer in a folder of their own, with a clean settings key.
class AgentTest : public ::testing::Test {
  protected:
    AgentTest() {
        folder_.CopyProgram(kProducer);
        settings_.SetDword(L"IdleStopMs", 1000);
    }
    ~AgentTest() override {
        peer_.Kill();
        agent_.Kill();
        WaitUntil([] { return Producers() == 0; }, 5000);
    }
    void StartAgent(const std::wstring& arguments = {}) {
        agent_ = Launch(folder_.CopyProgram(L"orbelune_vcam_agent.exe"), arguments, Folder());
        ASSERT_TRUE(log_.WaitFor("agent starting", kDeadlineMs));
    }
    // The stand-in's behaviour at its next start: run, exit at once, or start a child.
    void SetMode(std::string_view mode) const {
        const UniqueHandle file(CreateFileW((Folder() + L"\\standin-producer.mode").c_str(),
                                            GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), mode.data(), static_cast<DWORD>(mode.size()), &written, nullptr);
    }
    // What the producers started from this folder recorded.
    [[nodiscard]] std::string Records() const {
        return ReadFileBytes(Folder() + L"\\standin-producer.log");
    }
    [[nodiscard]] const std::wstring& Folder() const { return folder_.Path(); }

    SettingsKey settings_;
    ScratchFolder folder_{L"agent"};
    LogCursor log_;
    ChildProcess agent_, peer_;
};

TEST_F(AgentTest, StartsOnDemandAsConfiguredAndStopsWhenIdle) {
    settings_.SetDword(L"CameraIndex", 0xFFFFFFFF);
    settings_.SetString(L"Provider", L"a\"b");
    settings_.SetString(L"ProducerExe", L"C:\\no\\such.exe");
    StartAgent(L"--ignored \"with space\" /q");
    const ChildProcess second = Launch(Folder() + L"\\orbelune_vcam_agent.exe", L"", Folder());
    DWORD exitCode = 1;
    EXPECT_EQ(WaitForSingleObject(second.process.Get(), kDeadlineMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(second.process.Get(), &exitCode) && exitCode == 0);

    // The capabilities are published once the peer's section can be opened, not before. A
    // missing producer is reported, and tried again at every pass while demand lasts.
    ASSERT_TRUE(log_.WaitFor(kIdleLine, kDeadlineMs));
    peer_ = StartPeer(L"--demand 3");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::ranges::count(log_.NewMessages(),
                                      "producer exe not found: C:\\no\\such.exe") >= 2;
        },
        kDeadlineMs));
    folder_.CopyProgram(kProducer, L"other.exe");
    CreateDirectoryW((Folder() + L"\\sub").c_str(), nullptr);
    settings_.SetString(L"RepoRoot", Folder() + L"/sub/");
    settings_.SetString(L"ProducerExe", Folder() + L"\\sub\\..\\other.exe");
    ASSERT_TRUE(log_.WaitFor("producer started (camera-index=-1 provider=a\"b)", kDeadlineMs));
    const std::string folder(Folder().begin(), Folder().end());
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Records().find("raw=\"" + folder +
                                  "\\other.exe\" \"--camera\" \"--no-mirror\" \"--provider\" "
                                  "\"a\\\"b\" \"--camera-index\" \"-1\" \"--repo-root\" \"" +
                                  folder + "\\sub\\\"\r\n") != std::string::npos;
        },
        kDeadlineMs))
        << Records();
    // The negative index reaches the virtual camera as 0.
    const SectionCopy control = CopySection(L"OrbeluneVcamControl.v2", 80);
    ASSERT_EQ(control.bytes.size(), 80u);
    EXPECT_EQ(LoadU32(control.bytes, 12), 0u);

    std::vector<std::string> lines;
    ASSERT_TRUE(WaitUntil(
        [&] { return (lines = log_.NewMessages()).back() == kIdleLine && lines.size() > 8; },
        kDeadlineMs));
    EXPECT_EQ(Producers(L"other.exe"), 0u);
    EXPECT_EQ(std::erase(lines, "agent already running in this session; exiting"), 1u);
    EXPECT_EQ(
        std::vector(lines.begin(), lines.begin() + 6),
        (std::vector<std::string>{
            "agent starting", kIdleLine,
            "camera capability enumeration failed/empty; using 1280x720@30 fallback",
            "published 1 native camera capability tuple(s)", "demand detected; starting producer",
            "producer exe not found: C:\\no\\such.exe"}));
    EXPECT_EQ(std::vector(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"demand detected; starting producer",
                                        "producer started (camera-index=-1 provider=a\"b)",
                                        "no demand for 1000 ms; stopping producer", kIdleLine}));
}

TEST_F(AgentTest, RestartsAfterAnExitObeysDisableAndTakesItsChildrenAlong) {
    SetMode("exit");
    StartAgent();
    peer_ = StartPeer(L"--demand 60");
    // The exit is noticed, and the producer started again in the same pass.
    std::vector<std::string> lines;
    auto exited = lines.end();
    ASSERT_TRUE(WaitUntil(
        [&] {
            lines = log_.NewMessages();
            exited = std::find(lines.begin(), lines.end(), "producer exited unexpectedly");
            return lines.end() - exited > 2;
        },
        kDeadlineMs));
    EXPECT_EQ(exited[1], "demand detected; starting producer");
    EXPECT_EQ(exited[2], "producer started (camera-index=0 provider=directml)");
    SetMode("run");
    ASSERT_TRUE(WaitUntil([] { return Producers() == 1; }, kDeadlineMs));

    // Disabled: the producer stops, and while demand goes on no pass starts it or says a word.
    settings_.SetDword(L"Enabled", 0);
    ASSERT_TRUE(log_.WaitFor("disabled via config; stopping producer\r\n", kDeadlineMs));
    EXPECT_TRUE(WaitUntil([] { return Producers() == 0; }, 5000));
    const LogCursor quiet;
    Sleep(2000);
    EXPECT_EQ(quiet.NewText(), "");
    EXPECT_EQ(Producers(), 0u);

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
    // A running zoom.exe that the consent store lists as using a camera.
    const std::wstring webcam = ToWide(kWebcamKeyPath);
    RegDeleteTreeW(HKEY_CURRENT_USER, webcam.c_str());
    const std::wstring zoom = folder_.CopyProgram(L"consumer_fixture_plain.exe", L"zoom.exe");
    std::wstring key = zoom;
    std::replace(key.begin(), key.end(), L'\\', L'#');
    const ULONGLONG start = 133000000000000000;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (webcam + L"\\NonPackaged\\" + key).c_str(),
                              L"LastUsedTimeStart", REG_QWORD, &start, sizeof start),
              ERROR_SUCCESS);
    const ChildProcess app = Launch(zoom);
    peer_ = StartPeer(L"--heartbeat 6");
    StartAgent();

    const auto consumers = [] {
        return ParseConsumersBlock(CopySection(L"OrbeluneVcamConsumers.v1", 608).bytes)
            .value_or(ConsumersReading{});
    };
    ASSERT_TRUE(WaitUntil([&] { return consumers().count == 1; }, kDeadlineMs));
    EXPECT_EQ(consumers().slots.at(0).displayName, u"Zoom");
    EXPECT_EQ(consumers().slots.at(0).identity, "zoom.exe");
    EXPECT_EQ(consumers().slots.at(0).lastUsedStart, start);
    // The control tool shows them as the agent sees them.
    const std::string status = Ctl(L"status").out;
    for (const char* expected :
         {"agent: running in this session\n", "  demand=no consumer present=yes\n",
          "capabilities block (Local\\OrbeluneVcamCapabilities.v1): valid, magic 0x4F425650 "
          "version 1\n  cameraIndex 0, count 1, sequence 1\n  [0] 1280x720@30/1\n",
          "  count 1, updated ", "  [0] \"Zoom\" identity \"zoom.exe\", desktop, started 2022-"}) {
        EXPECT_NE(status.find(expected), std::string::npos) << expected << " in\n" << status;
    }
    EXPECT_NE(Ctl(L"status --json").out.find(R"("demand":false,"consumerPresent":true})"),
              std::string::npos);

    // Wine has no camera: the fallback format, published once for each camera index.
    const auto capabilities = [] {
        return ParseCapabilitiesBlock(CopySection(L"OrbeluneVcamCapabilities.v1", 2068).bytes)
            .value_or(CapabilitiesReading{});
    };
    EXPECT_TRUE(capabilities().valid);
    EXPECT_EQ(capabilities().sequence, 1u);
    EXPECT_EQ(capabilities().entries, (std::vector<CameraCapability>{{1280, 720, 30, 1}}));
    settings_.SetDword(L"CameraIndex", 3);
    ASSERT_TRUE(WaitUntil([&] { return capabilities().sequence == 2; }, kDeadlineMs));
    EXPECT_EQ(capabilities().cameraIndex, 3u);

    // Once the heartbeat has lapsed, the empty list, rewritten once a second.
    ASSERT_TRUE(WaitUntil([&] { return consumers().count == 0; }, kDeadlineMs));
    const std::uint32_t sequence = consumers().sequence;
    EXPECT_TRUE(WaitUntil([&] { return consumers().sequence > sequence; }, kDeadlineMs));
    EXPECT_EQ(
        std::ranges::count(log_.NewMessages(), "published 1 native camera capability tuple(s)"), 2);
    RegDeleteTreeW(HKEY_CURRENT_USER, webcam.c_str());
}

}  // namespace
}  // namespace orbelune
