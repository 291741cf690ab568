// The capabilities publication of the whole agent under Wine, which has no camera: every
// publication is the 1280x720@30 fallback.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

using namespace testing;

constexpr DWORD kDeadlineMs = 20000;
constexpr char kFallbackLine[] =
    "camera capability enumeration failed/empty; using 1280x720@30 fallback\r\n";
constexpr char kPublishedLine[] = "published 1 native camera capability tuple(s)\r\n";

// A read-only view of the capabilities block as the peer holds it, in one namespace.
struct BlockReading {
    std::uint32_t magic = 0, version = 0, cameraIndex = 0, count = 0, sequence = 0;
    std::uint32_t entry0[4] = {};
};

bool ReadBlock(const wchar_t* name, BlockReading& reading) {
    UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    if (!section.IsValid()) {
        return false;
    }
    const auto* view =
        static_cast<const std::uint32_t*>(MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 2068));
    if (view == nullptr) {
        return false;
    }
    reading = {view[0], view[1], view[2], view[3], view[516], {view[4], view[5], view[6], view[7]}};
    UnmapViewOfFile(view);
    return true;
}

size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

class CapabilitiesTest : public ::testing::Test {
  protected:
    CapabilitiesTest() : folder_(L"capabilities") {
        folder_.CopyProgram(L"orbelune_vcam_agent.exe");
    }
    ~CapabilitiesTest() override {
        agent_.Kill();
        peer_.Kill();
    }
    void StartAgent() {
        agent_ = Launch(L"\"" + folder_.Path() + L"\\orbelune_vcam_agent.exe\"", folder_.Path());
        ASSERT_TRUE(log_.WaitFor("agent starting", kDeadlineMs));
    }
    void StartPeer(const std::wstring& arguments = {}) {
        peer_ = Launch(L"\"" + BuildFolder() + L"\\orbelune_vcam_peer.exe\" --print-every 0 " +
                       arguments);
        ASSERT_TRUE(WaitUntil(
            [] {
                BlockReading unused;
                return ReadBlock(L"Local\\OrbeluneVcamCapabilities.v1", unused);
            },
            kDeadlineMs));
    }

    SettingsKey settings_;
    ScratchFolder folder_;
    LogCursor log_;
    ChildProcess agent_;
    ChildProcess peer_;
};

TEST_F(CapabilitiesTest, FallbackPublishedOnceAndAgainWhenTheIndexChanges) {
    settings_.SetDword(L"CameraIndex", 0);
    StartPeer();
    StartAgent();
    ASSERT_TRUE(log_.WaitFor(kPublishedLine, kDeadlineMs)) << log_.NewText();
    // The fallback line stands right before the publication line.
    const std::string first = log_.NewText();
    ASSERT_NE(first.find(kFallbackLine), std::string::npos) << first;
    EXPECT_EQ(first.find(kFallbackLine) + 20 + sizeof kFallbackLine - 1,
              first.find(kPublishedLine));

    BlockReading block;
    ASSERT_TRUE(ReadBlock(L"Local\\OrbeluneVcamCapabilities.v1", block));
    EXPECT_EQ(block.magic, 0x4F425650u);
    EXPECT_EQ(block.version, 1u);
    EXPECT_EQ(block.cameraIndex, 0u);
    EXPECT_EQ(block.count, 1u);
    EXPECT_EQ(block.sequence, 1u);
    EXPECT_EQ(std::vector<std::uint32_t>(block.entry0, block.entry0 + 4),
              (std::vector<std::uint32_t>{1280, 720, 30, 1}));

    // Passes with the same index publish nothing more.
    Sleep(2000);
    ASSERT_TRUE(ReadBlock(L"Local\\OrbeluneVcamCapabilities.v1", block));
    EXPECT_EQ(block.sequence, 1u);
    EXPECT_EQ(Count(log_.NewText(), kPublishedLine), 1u);

    // A new index publishes again at the next pass.
    settings_.SetDword(L"CameraIndex", 3);
    ASSERT_TRUE(WaitUntil([&] { return Count(log_.NewText(), kPublishedLine) == 2; }, kDeadlineMs));
    ASSERT_TRUE(ReadBlock(L"Local\\OrbeluneVcamCapabilities.v1", block));
    EXPECT_EQ(block.sequence, 2u);
    EXPECT_EQ(block.cameraIndex, 3u);
    EXPECT_EQ(Count(log_.NewText(), kFallbackLine), 2u);
}

TEST_F(CapabilitiesTest, SectionThatAppearsLaterIsPublishedAtTheFirstPassThatOpensIt) {
    StartAgent();
    ASSERT_TRUE(log_.WaitFor("idle; waiting", kDeadlineMs));
    Sleep(1000);
    EXPECT_EQ(log_.NewText().find("capability"), std::string::npos);

    StartPeer();
    ASSERT_TRUE(log_.WaitFor(kPublishedLine, 5000)) << log_.NewText();
    BlockReading block;
    ASSERT_TRUE(ReadBlock(L"Local\\OrbeluneVcamCapabilities.v1", block));
    EXPECT_EQ(block.sequence, 1u);
    EXPECT_EQ(block.count, 1u);
}

}  // namespace
}  // namespace orbelune
