// Opening a section the way the agent opens the virtual camera's: the Global\ name first, then
// the Local\ one, passing over a section that opens but cannot be mapped for writing.
#include "common/section_win.h"

#include <gtest/gtest.h>

#include "common/handles_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

constexpr wchar_t kName[] = L"OrbeluneTestSection";
constexpr DWORD kSize = 4096;

// Whether the first byte of a section, seen through a view of its own, is `value`.
bool FirstByteIs(const UniqueHandle& section, std::byte value) {
    const void* view = MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 1);
    const bool is = view != nullptr && *static_cast<const std::byte*>(view) == value;
    UnmapViewOfFile(view);
    return is;
}

TEST(SectionWinTest, GlobalNameFirstThenLocal) {
    // A file to back a section read-only: it opens with write access, but a writable view of
    // it is refused, so its handle is closed and the next name is tried.
    const testing::ScratchFolder folder(L"section");
    const std::wstring path = folder.Path() + L"\\block.bin";
    {
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::vector<char> zeros(kSize);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), zeros.data(), kSize, &written, nullptr));
    }
    const UniqueHandle readOnly(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Which sections exist (g: Global, r: Global backed read-only, l: Local) and which one the
    // agent must use.
    static const struct {
        std::string_view sections;
        char used;
    } kCases[] = {{"", '-'}, {"l", 'l'}, {"gl", 'g'}, {"g", 'g'}, {"rl", 'l'}, {"r", '-'}};
    for (const auto& c : kCases) {
        UniqueHandle global, local;
        if (c.sections.find_first_of("gr") != std::string_view::npos) {
            const bool backed = c.sections[0] == 'r';
            global = UniqueHandle(
                CreateFileMappingW(backed ? readOnly.Get() : INVALID_HANDLE_VALUE, nullptr,
                                   backed ? PAGE_READONLY : PAGE_READWRITE, 0, kSize,
                                   (L"Global\\" + std::wstring(kName)).c_str()));
            if (!global.IsValid()) {
                // Windows lets only privileged processes create Global\ sections; Wine does not
                // check, so the cases run there.
                GTEST_SKIP() << "this session cannot create Global\\ sections";
            }
        }
        if (c.sections.ends_with('l')) {
            local =
                UniqueHandle(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                kSize, (L"Local\\" + std::wstring(kName)).c_str()));
        }
        MappedSection section;
        ASSERT_EQ(OpenSharedSection(section, kName, kSize), c.used != '-') << c.sections;
        ASSERT_EQ(section.IsMapped(), c.used != '-');
        if (section.IsMapped()) {
            section.Bytes()[0] = std::byte{0x5A};
            EXPECT_TRUE(FirstByteIs(c.used == 'g' ? global : local, std::byte{0x5A})) << c.sections;
            EXPECT_TRUE(OpenSharedSection(section, L"no such name", kSize));  // kept as it is
            UnmapViewOfFile(section.view);
            CloseHandle(section.mappingHandle);
        }
    }
}

}  // namespace
}  // namespace orbelune
