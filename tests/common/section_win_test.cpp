// Opening a section the way the agent opens the virtual camera's: the Global\ name first, then
// the Local\ one, passing over a section that opens but cannot be mapped for writing.
#include "common/section_win.h"

#include <gtest/gtest.h>

#include "common/handles_win.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

TEST(SectionWinTest, GlobalNameFirstThenLocal) {
    // A file behind a section read-only: it opens with write access, but a writable view of it
    // is refused, so its handle is closed and the next name is tried.
    const testing::ScratchFolder folder(L"section");
    const std::wstring path = folder.Path() + L"\\block.bin";
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(SetFilePointer(file.Get(), 4096, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    file.Close();
    file = UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid());
    // The sections there are (g Global, r Global read-only, l Local) and the one to use.
    static const struct {
        std::string_view sections;
        char used;
    } kCases[] = {{"", '-'}, {"l", 'l'}, {"gl", 'g'}, {"g", 'g'}, {"rl", 'l'}, {"r", '-'}};
    for (const auto& c : kCases) {
        const bool readOnly = c.sections.starts_with('r');
        const UniqueHandle global(
            c.sections.find_first_of("gr") == 0
                ? CreateFileMappingW(readOnly ? file.Get() : INVALID_HANDLE_VALUE, nullptr,
                                     readOnly ? PAGE_READONLY : PAGE_READWRITE, 0, 4096,
                                     L"Global\\OrbeluneTestSection")
                : nullptr);
        const UniqueHandle local(c.sections.ends_with('l')
                                     ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                                          PAGE_READWRITE, 0, 4096,
                                                          L"Local\\OrbeluneTestSection")
                                     : nullptr);
        if (c.sections.find_first_of("gr") == 0 && !global.IsValid()) {
            // Windows lets only privileged processes create Global\ sections; Wine does not
            // check that, so the cases run there.
            GTEST_SKIP() << "this session cannot create Global\\ sections";
        }
        MappedSection section;
        ASSERT_EQ(OpenSharedSection(section, L"OrbeluneTestSection", 4096), c.used != '-');
        if (section.IsMapped()) {
            // Written through the agent's view, seen through the virtual camera's.
            section.Bytes()[0] = std::byte{0x5A};
            const auto written = [](const UniqueHandle& peer) {
                const void* view =
                    peer.IsValid() ? MapViewOfFile(peer.Get(), FILE_MAP_READ, 0, 0, 1) : nullptr;
                const bool is = view != nullptr && *static_cast<const char*>(view) == 0x5A;
                UnmapViewOfFile(view);
                return is;
            };
            EXPECT_EQ(written(global), c.used == 'g') << c.sections;
            EXPECT_EQ(written(local), c.used == 'l') << c.sections;
            EXPECT_TRUE(OpenSharedSection(section, L"no such name", 4096));  // kept as it is
            UnmapViewOfFile(section.view);
            CloseHandle(section.mappingHandle);
        }
    }
}

}  // namespace
}  // namespace orbelune
