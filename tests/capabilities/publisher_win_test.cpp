// The publisher against real named sections in this Wine prefix's session. Wine has no camera,
// so every publication here is the fallback one.
#include "capabilities/publisher_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "capabilities/capabilities.h"
#include "capabilities/capabilities_win.h"
#include "common/bytes.h"
#include "common/handles_win.h"
#include "tests/capabilities/media_foundation_test_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

// A section made the way the virtual camera makes it, with a view of its own to look through.
class PeerSection {
  public:
    // Backed by the paging file, or by `file` read-only when one is given.
    PeerSection(const std::wstring& name, DWORD size, HANDLE file = INVALID_HANDLE_VALUE)
        : size_(size) {
        const bool readOnly = file != INVALID_HANDLE_VALUE;
        handle_ = UniqueHandle(CreateFileMappingW(
            file, nullptr, readOnly ? PAGE_READONLY : PAGE_READWRITE, 0, size, name.c_str()));
        fresh_ = handle_.IsValid() && GetLastError() != ERROR_ALREADY_EXISTS;
        if (handle_.IsValid()) {
            const DWORD access = readOnly ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE;
            view_ = MapViewOfFile(handle_.Get(), access, 0, 0, size);
        }
    }
    PeerSection(const PeerSection&) = delete;
    PeerSection& operator=(const PeerSection&) = delete;
    ~PeerSection() {
        if (view_ != nullptr) {
            UnmapViewOfFile(view_);
        }
    }

    [[nodiscard]] HANDLE Handle() const { return handle_.Get(); }

    // Made anew by this test, not left over from another, and mapped.
    [[nodiscard]] bool IsFresh() const { return fresh_ && view_ != nullptr; }
    [[nodiscard]] std::span<std::byte> Bytes() const {
        return {static_cast<std::byte*>(view_), view_ != nullptr ? size_ : 0};
    }
    [[nodiscard]] bool IsAllZero() const {
        for (const std::byte b : Bytes()) {
            if (b != std::byte{0}) {
                return false;
            }
        }
        return true;
    }

  private:
    UniqueHandle handle_;
    void* view_ = nullptr;
    size_t size_;
    bool fresh_ = false;
};

const std::wstring kGlobalName = L"Global\\" + std::wstring(kCapabilitiesSectionName);
const std::wstring kLocalName = L"Local\\" + std::wstring(kCapabilitiesSectionName);

// The agent keeps its section for the life of the process; a test lets it go at its end, so
// that the next test finds no section under either name.
struct TestPublisher {
    CapabilitiesPublisher state;
    TestPublisher() = default;
    TestPublisher(const TestPublisher&) = delete;
    TestPublisher& operator=(const TestPublisher&) = delete;
    ~TestPublisher() {
        if (state.section.view != nullptr) {
            UnmapViewOfFile(state.section.view);
        }
        if (state.section.mappingHandle != nullptr) {
            CloseHandle(state.section.mappingHandle);
        }
    }
};

class PublisherWinTest : public testing::MediaFoundationTest {
  protected:
    void SetUp() override {
        if (!EnumerateCameraCapabilities(0).empty()) {
            GTEST_SKIP() << "a camera is present; these tests expect the fallback publication";
        }
    }
};

TEST_F(PublisherWinTest, WithoutSectionNothingHappensUntilOneAppears) {
    const testing::LogCursor log;
    TestPublisher publisher;
    PublishCapabilities(publisher.state, 0);
    PublishCapabilities(publisher.state, 0);
    EXPECT_FALSE(publisher.state.published);
    EXPECT_FALSE(publisher.state.section.IsMapped());
    EXPECT_EQ(log.NewText(), "");

    // The virtual camera starts later: the next call maps its section and publishes.
    const PeerSection local(kLocalName, kCapabilitiesBlockSize);
    ASSERT_TRUE(local.IsFresh());
    PublishCapabilities(publisher.state, 0);
    EXPECT_TRUE(publisher.state.published);
    EXPECT_EQ(LoadU32(local.Bytes(), kCapabilitiesSequenceOffset), 1u);
}

TEST_F(PublisherWinTest, PublishesWhenDueWithTheFallback) {
    const PeerSection local(kLocalName, kCapabilitiesBlockSize);
    ASSERT_TRUE(local.IsFresh());
    const std::span<std::byte> block = local.Bytes();
    StoreU32(block, kCapabilitiesSequenceOffset, 7);
    TestPublisher publisher;

    static const struct {
        std::int32_t cameraIndex;
        std::uint32_t wantSequence;
        std::uint32_t wantBlockIndex;
        bool wantLines;
    } kCalls[] = {
        {0, 8, 0, true},                       // first publication
        {0, 8, 0, false},                      // same index: nothing
        {1, 9, 1, true},                       // changed index
        {0, 10, 0, true},                      // and back
        {-1, 11, 0, true},                     // negative: written as 0, kept as -1
        {-1, 11, 0, false}, {0, 12, 0, true},  // 0 differs from the -1 published last
    };
    static const std::regex kLines(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
        "camera capability enumeration failed/empty; using 1280x720@30 fallback\r\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
        "published 1 native camera capability tuple\\(s\\)\r\n");
    for (const auto& c : kCalls) {
        // Garbage in the entry slots shows whether the call wrote the block.
        StoreU32(block, kCapabilitiesEntriesOffset + 16, 0xDEADBEEF);
        const testing::LogCursor log;
        PublishCapabilities(publisher.state, c.cameraIndex);

        EXPECT_EQ(LoadU32(block, kCapabilitiesSequenceOffset), c.wantSequence) << c.cameraIndex;
        EXPECT_EQ(publisher.state.lastCameraIndex, c.cameraIndex);
        EXPECT_EQ(std::memcmp(block.data(), "PVBO", 4), 0);
        EXPECT_EQ(LoadU32(block, kCapabilitiesVersionOffset), 1u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesCameraIndexOffset), c.wantBlockIndex);
        EXPECT_EQ(LoadU32(block, kCapabilitiesCountOffset), 1u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesEntriesOffset), 1280u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesEntriesOffset + 4), 720u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesEntriesOffset + 8), 30u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesEntriesOffset + 12), 1u);
        EXPECT_EQ(LoadU32(block, kCapabilitiesEntriesOffset + 16), c.wantLines ? 0u : 0xDEADBEEF);
        const std::string lines = log.NewText();
        if (c.wantLines) {
            EXPECT_TRUE(std::regex_match(lines, kLines)) << c.cameraIndex << ": " << lines;
        } else {
            EXPECT_EQ(lines, "") << c.cameraIndex;
        }
    }
}

// A non-elevated process on Windows may not create Global\ sections (it lacks
// SeCreateGlobalPrivilege); Wine does not check that privilege, so these tests run there.
TEST_F(PublisherWinTest, GlobalSectionComesFirstUnlessItCannotBeMapped) {
    // A read-only file behind the Global\ section: it opens with write access, but a writable
    // view of it is refused, so its handle is closed and Local\ is used.
    const testing::ScratchFolder folder(L"capabilities");
    const std::wstring path = folder.Path() + L"\\block.bin";
    {
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::vector<char> zeros(kCapabilitiesBlockSize);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), zeros.data(), static_cast<DWORD>(zeros.size()), &written,
                              nullptr));
    }
    const UniqueHandle readOnlyFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
    ASSERT_TRUE(readOnlyFile.IsValid());

    static const struct {
        bool readOnly;
        bool wantGlobal;
    } kCases[] = {{false, true}, {true, false}};
    for (const auto& c : kCases) {
        const PeerSection global(kGlobalName, kCapabilitiesBlockSize,
                                 c.readOnly ? readOnlyFile.Get() : INVALID_HANDLE_VALUE);
        if (!global.IsFresh()) {
            GTEST_SKIP() << "this session cannot create a fresh Global\\ section";
        }
        const PeerSection local(kLocalName, kCapabilitiesBlockSize);
        ASSERT_TRUE(local.IsFresh());
        TestPublisher publisher;
        PublishCapabilities(publisher.state, 0);
        ASSERT_TRUE(publisher.state.published);
        EXPECT_EQ(local.IsAllZero(), c.wantGlobal) << c.readOnly;
        EXPECT_EQ(global.IsAllZero(), !c.wantGlobal) << c.readOnly;
    }
}

TEST_F(PublisherWinTest, GlobalSectionSmallerThanTheBlockIsPassedOver) {
    const PeerSection global(kGlobalName, 100);
    if (!global.IsFresh()) {
        GTEST_SKIP() << "this session cannot create a fresh Global\\ section";
    }
    // Windows refuses a view that reaches past the section's end. Wine sizes sections in whole
    // pages and maps the 2068 bytes of a 100-byte section, so there the case cannot be made.
    void* probe = MapViewOfFile(global.Handle(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                kCapabilitiesBlockSize);
    if (probe != nullptr) {
        UnmapViewOfFile(probe);
        GTEST_SKIP() << "this system maps views past the end of a section (Wine)";
    }
    const PeerSection local(kLocalName, kCapabilitiesBlockSize);
    ASSERT_TRUE(local.IsFresh());
    TestPublisher publisher;
    PublishCapabilities(publisher.state, 0);
    ASSERT_TRUE(publisher.state.published);
    EXPECT_FALSE(local.IsAllZero());
    EXPECT_TRUE(global.IsAllZero());
}

}  // namespace
}  // namespace orbelune
