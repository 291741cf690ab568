// The consumer list of the whole agent under Wine: a running application in the consent store
// appears in the consumers block while the peer's consumer heartbeat is fresh.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/text_win.h"
#include "consumers/consent_store.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr DWORD kDeadlineMs = 20000;
constexpr wchar_t kBlockName[] = L"Local\\OrbeluneVcamConsumers.v1";

struct ConsumersReading {
    std::uint32_t count = 0;
    std::uint32_t sequence = 0;
    std::uint64_t updatedTick = 0;
    std::wstring firstName;
    std::string firstIdentity;
};

bool ReadConsumers(ConsumersReading& reading) {
    UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, kBlockName));
    if (!section.IsValid()) {
        return false;
    }
    const auto* view =
        static_cast<const char*>(MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 608));
    if (view == nullptr) {
        return false;
    }
    memcpy(&reading.count, view + 8, 4);
    memcpy(&reading.updatedTick, view + 16, 8);
    memcpy(&reading.sequence, view + 600, 4);
    wchar_t name[32] = {};
    memcpy(name, view + 24, 64);
    reading.firstName.assign(name, wcsnlen(name, 32));
    reading.firstIdentity.assign(view + 24 + 64, strnlen(view + 24 + 64, 64));
    UnmapViewOfFile(view);
    return true;
}

// The consent store of the prefix's current user, removed before and after.
struct ConsentStore {
    const std::wstring webcam = ToWide(kWebcamKeyPath);
    ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, webcam.c_str()); }
    ~ConsentStore() { RegDeleteTreeW(HKEY_CURRENT_USER, webcam.c_str()); }
    // A desktop app using a camera since `start`: a start time and no stop time.
    void InUse(std::wstring exePath, std::uint64_t start) const {
        std::replace(exePath.begin(), exePath.end(), L'\\', L'#');
        const std::wstring key = webcam + L"\\NonPackaged\\" + exePath;
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"LastUsedTimeStart", REG_QWORD,
                                  &start, sizeof start),
                  ERROR_SUCCESS);
    }
};

class ConsumersTest : public ::testing::Test {
  protected:
    ConsumersTest() : folder_(L"consumers-e2e") { folder_.CopyProgram(L"orbelune_vcam_agent.exe"); }
    ~ConsumersTest() override {
        agent_.Kill();
        peer_.Kill();
        app_.Kill();
    }
    void StartAgent() {
        agent_ = Launch(L"\"" + folder_.Path() + L"\\orbelune_vcam_agent.exe\"", folder_.Path());
        ASSERT_TRUE(log_.WaitFor("agent starting", kDeadlineMs));
    }
    void StartPeer(const std::wstring& arguments) {
        peer_ = Launch(L"\"" + BuildFolder() + L"\\orbelune_vcam_peer.exe\" --print-every 0 " +
                       arguments);
        ConsumersReading unused;
        ASSERT_TRUE(WaitUntil([&] { return ReadConsumers(unused); }, kDeadlineMs));
    }
    // A stand-in application running as zoom.exe, in use according to the consent store.
    void StartZoom() {
        folder_.CopyProgram(L"consumer_fixture_plain.exe", L"zoom.exe");
        const std::wstring path = folder_.Path() + L"\\zoom.exe";
        app_ = Launch(L"\"" + path + L"\"");
        ASSERT_TRUE(WaitUntil([] { return CountProcesses(L"zoom.exe") == 1; }, kDeadlineMs));
        store_.InUse(path, 133000000000000000ULL);
    }

    SettingsKey settings_;
    ConsentStore store_;
    ScratchFolder folder_;
    LogCursor log_;
    ChildProcess agent_, peer_, app_;
};

TEST_F(ConsumersTest, RunningAppIsPublishedWhileTheHeartbeatLastsThenTheListEmpties) {
    StartZoom();
    StartPeer(L"--heartbeat 4");
    StartAgent();
    ConsumersReading block;
    ASSERT_TRUE(WaitUntil([&] { return ReadConsumers(block) && block.count == 1; }, kDeadlineMs));
    EXPECT_EQ(block.firstName, L"Zoom");
    EXPECT_EQ(block.firstIdentity, "zoom.exe");
    EXPECT_GT(block.updatedTick, 0u);

    // Once the heartbeat has lapsed the agent keeps writing the empty list, once a second.
    ASSERT_TRUE(WaitUntil([&] { return ReadConsumers(block) && block.count == 0; }, kDeadlineMs));
    EXPECT_EQ(block.firstName, L"");
    const std::uint32_t sequence = block.sequence;
    ASSERT_TRUE(
        WaitUntil([&] { return ReadConsumers(block) && block.sequence > sequence; }, kDeadlineMs));
    EXPECT_EQ(block.count, 0u);
}

TEST_F(ConsumersTest, BlockWithTheWrongMagicIsNeverWritten) {
    StartZoom();
    StartPeer(L"--heartbeat 30 --consumers-magic 12345678");
    StartAgent();
    ASSERT_TRUE(log_.WaitFor("idle; waiting", kDeadlineMs));
    Sleep(2500);  // two refreshes at least
    ConsumersReading block;
    ASSERT_TRUE(ReadConsumers(block));
    EXPECT_EQ(block.count, 0u);
    EXPECT_EQ(block.sequence, 0u);
    EXPECT_EQ(block.updatedTick, 0u);
    EXPECT_EQ(block.firstName, L"");
}

}  // namespace
}  // namespace orbelune
