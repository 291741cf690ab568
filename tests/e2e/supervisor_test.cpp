// The whole agent under Wine with the peer simulator and the stand-in producer: the producer
// runs exactly while the peer shows demand, as the settings in the registry say.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/text_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr wchar_t kProducerName[] = L"orbelune_windows_retouch_vcam_producer.exe";
constexpr DWORD kDeadlineMs = 20000;

std::string Narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

// The u32 at `offset` of a section the peer holds, or nothing when it cannot be opened.
std::optional<std::uint32_t> ReadSectionWord(const wchar_t* name, size_t offset) {
    UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    if (!section.IsValid()) {
        return std::nullopt;
    }
    const void* view = MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, offset + 4);
    if (view == nullptr) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    memcpy(&value, static_cast<const char*>(view) + offset, sizeof value);
    UnmapViewOfFile(view);
    return value;
}

// An agent and the stand-in producer in a folder of their own, with a clean settings key.
class SupervisorTest : public ::testing::Test {
  protected:
    SupervisorTest() : folder_(L"supervisor") {
        folder_.CopyProgram(L"orbelune_vcam_agent.exe");
        folder_.CopyProgram(kProducerName);
        settings_.SetDword(L"IdleStopMs", 1000);
    }
    ~SupervisorTest() override {
        peer_.Kill();
        agent_.Kill();
        WaitUntil([] { return CountProcesses(kProducerName) == 0; }, 5000);
    }

    void StartAgent() {
        agent_ = Launch(L"\"" + Folder() + L"\\orbelune_vcam_agent.exe\"", Folder());
        ASSERT_TRUE(log_.WaitFor("agent starting", kDeadlineMs));
    }
    void StartPeer(const std::wstring& arguments) {
        peer_ = Launch(L"\"" + BuildFolder() + L"\\orbelune_vcam_peer.exe\" --print-every 0 " +
                       arguments);
    }
    void SetMode(const char* mode) const {
        const std::wstring path = Folder() + L"\\standin-producer.mode";
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), mode, static_cast<DWORD>(strlen(mode)), &written, nullptr);
    }
    [[nodiscard]] std::string ProducerRecords() const {
        return ReadFileBytes(Folder() + L"\\standin-producer.log");
    }
    [[nodiscard]] const std::wstring& Folder() const { return folder_.Path(); }

    SettingsKey settings_;
    ScratchFolder folder_;
    LogCursor log_;
    ChildProcess agent_;
    ChildProcess peer_;
};

TEST_F(SupervisorTest, DemandStartsTheProducerAndItsLapseStopsIt) {
    StartAgent();
    StartPeer(L"--demand 2");
    ASSERT_TRUE(
        log_.WaitFor("producer started (camera-index=0 provider=directml)\r\n", kDeadlineMs))
        << log_.NewText();
    EXPECT_EQ(CountProcesses(kProducerName), 1);
    const std::string folder = Narrow(Folder());
    const std::string expected = "raw=\"" + folder + "\\" + Narrow(kProducerName) +
                                 "\" \"--camera\" \"--no-mirror\" \"--provider\" \"directml\" "
                                 "\"--camera-index\" \"0\" \"--repo-root\" \"" +
                                 folder + "\"\r\n";
    EXPECT_TRUE(WaitUntil([&] { return ProducerRecords().find(expected) != std::string::npos; },
                          kDeadlineMs))
        << ProducerRecords();

    ASSERT_TRUE(log_.WaitFor("no demand for 1000 ms; stopping producer\r\n", kDeadlineMs))
        << log_.NewText();
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kProducerName) == 0; }, 5000));
    ASSERT_TRUE(log_.WaitFor("stopping producer\r\n", 0));
    // The producer's lines, the capabilities publication (tested on its own) left aside.
    const auto producerLines = [&] {
        std::vector<std::string> lines = LogMessages(log_.NewText());
        std::erase_if(lines, [](const std::string& line) {
            return line.find("capabilit") != std::string::npos;
        });
        return lines;
    };
    ASSERT_TRUE(WaitUntil([&] { return producerLines().size() >= 6; }, kDeadlineMs));
    const std::vector<std::string> expectedLines = {
        "agent starting",
        "idle; waiting for a consumer to open Orbelune",
        "demand detected; starting producer",
        "producer started (camera-index=0 provider=directml)",
        "no demand for 1000 ms; stopping producer",
        "idle; waiting for a consumer to open Orbelune",
    };
    EXPECT_EQ(producerLines(), expectedLines);
}

TEST_F(SupervisorTest, RegistryValuesReachTheCommandLineAsConfigured) {
    CreateDirectoryW((Folder() + L"\\sub").c_str(), nullptr);
    folder_.CopyProgram(kProducerName, L"other-producer.exe");
    settings_.SetDword(L"CameraIndex", 0xFFFFFFFF);
    settings_.SetString(L"Provider", L"a\"b");
    settings_.SetString(L"ProducerExe", Folder() + L"\\sub\\..\\other-producer.exe");
    settings_.SetString(L"RepoRoot", Folder() + L"/sub/");
    StartAgent();
    StartPeer(L"--demand 30");
    ASSERT_TRUE(log_.WaitFor("producer started (camera-index=-1 provider=a\"b)\r\n", kDeadlineMs))
        << log_.NewText();
    const std::string folder = Narrow(Folder());
    const std::string expected = "raw=\"" + folder +
                                 "\\other-producer.exe\" \"--camera\" \"--no-mirror\" "
                                 "\"--provider\" \"a\\\"b\" \"--camera-index\" \"-1\" "
                                 "\"--repo-root\" \"" +
                                 folder + "\\sub\\\"\r\n";
    EXPECT_TRUE(WaitUntil([&] { return ProducerRecords().find(expected) != std::string::npos; },
                          kDeadlineMs))
        << ProducerRecords();
    // A negative index is written into the control block as 0.
    EXPECT_EQ(ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 12), 0u);
}

TEST_F(SupervisorTest, ProducerThatDiesIsRestartedInTheSamePass) {
    SetMode("exit");
    StartAgent();
    StartPeer(L"--demand 60");
    ASSERT_TRUE(log_.WaitFor("producer exited unexpectedly\r\n", kDeadlineMs)) << log_.NewText();
    DeleteFileW((Folder() + L"\\standin-producer.mode").c_str());
    ASSERT_TRUE(WaitUntil([&] { return CountProcesses(kProducerName) == 1; }, kDeadlineMs));

    const std::vector<std::string> lines = LogMessages(log_.NewText());
    size_t exited = 0;
    while (exited < lines.size() && lines[exited] != "producer exited unexpectedly") {
        ++exited;
    }
    ASSERT_LT(exited + 2, lines.size()) << log_.NewText();
    EXPECT_EQ(lines[exited + 1], "demand detected; starting producer");
    EXPECT_EQ(lines[exited + 2], "producer started (camera-index=0 provider=directml)");
}

TEST_F(SupervisorTest, DisabledStopsTheProducerAndThenSaysNothing) {
    StartAgent();
    StartPeer(L"--demand 60");
    ASSERT_TRUE(log_.WaitFor("producer started", kDeadlineMs)) << log_.NewText();
    settings_.SetDword(L"Enabled", 0);
    ASSERT_TRUE(log_.WaitFor("disabled via config; stopping producer\r\n", kDeadlineMs));
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kProducerName) == 0; }, 5000));

    // Demand goes on, but while disabled no pass starts the producer or writes a line.
    const LogCursor quiet;
    Sleep(2500);
    EXPECT_EQ(quiet.NewText(), "");
    EXPECT_EQ(CountProcesses(kProducerName), 0);

    settings_.SetDword(L"Enabled", 1);
    EXPECT_TRUE(quiet.WaitFor("producer started", kDeadlineMs));
}

TEST_F(SupervisorTest, MissingProducerIsReportedAndRetriedEachPass) {
    settings_.SetString(L"ProducerExe", L"C:\\no\\such\\producer.exe");
    StartAgent();
    StartPeer(L"--demand 60");
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string text = log_.NewText();
            const size_t first =
                text.find("producer exe not found: C:\\no\\such\\producer.exe\r\n");
            return first != std::string::npos &&
                   text.find("producer exe not found", first + 1) != std::string::npos;
        },
        kDeadlineMs))
        << log_.NewText();
    const std::vector<std::string> lines = LogMessages(log_.NewText());
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].starts_with("producer exe not found")) {
            EXPECT_EQ(lines[i - 1], "demand detected; starting producer");
        }
    }
}

TEST_F(SupervisorTest, WrongVersionCountsAsMissingUntilStamped) {
    settings_.SetDword(L"CameraIndex", 5);
    StartAgent();
    StartPeer(L"--namespace local --control-version 1 --fix-after 3 --demand 60");
    ASSERT_TRUE(WaitUntil([] { return ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 4) == 1u; },
                          kDeadlineMs));
    Sleep(1500);  // several passes over version 1
    EXPECT_EQ(ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 12), 0u);
    EXPECT_EQ(log_.NewText().find("demand detected"), std::string::npos);

    ASSERT_TRUE(log_.WaitFor("producer started (camera-index=5 provider=directml)", kDeadlineMs));
    EXPECT_EQ(ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 12), 5u);
}

TEST_F(SupervisorTest, GlobalSectionIsPreferredOverLocal) {
    settings_.SetDword(L"CameraIndex", 7);
    StartPeer(L"--namespace both --demand 60");
    ASSERT_TRUE(
        WaitUntil([] { return ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 0).has_value(); },
                  kDeadlineMs));
    if (!ReadSectionWord(L"Global\\OrbeluneVcamControl.v2", 0)) {
        GTEST_SKIP() << "this system does not let the test create Global\\ sections";
    }
    StartAgent();
    ASSERT_TRUE(log_.WaitFor("producer started (camera-index=7", kDeadlineMs)) << log_.NewText();
    EXPECT_EQ(ReadSectionWord(L"Global\\OrbeluneVcamControl.v2", 12), 7u);
    EXPECT_EQ(ReadSectionWord(L"Local\\OrbeluneVcamControl.v2", 12), 0u);
}

TEST_F(SupervisorTest, KillingTheAgentEndsTheProducerAndWhatItStarted) {
    SetMode("child");
    StartAgent();
    StartPeer(L"--demand 60");
    ASSERT_TRUE(log_.WaitFor("producer started", kDeadlineMs)) << log_.NewText();
    ASSERT_TRUE(WaitUntil([&] { return ProducerRecords().find("child pid=") != std::string::npos; },
                          kDeadlineMs));
    EXPECT_EQ(CountProcesses(kProducerName), 2);
    agent_.Kill();
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(kProducerName) == 0; }, kDeadlineMs))
        << CountProcesses(kProducerName) << " producer processes outlived the agent";
}

}  // namespace
}  // namespace orbelune
