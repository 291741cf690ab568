// Opening a section the way the agent opens the virtual camera's: the Global\ name first, then
// the Local\ one, passing over a section that opens but cannot be mapped for writing.
#include "common/section_win.h"

#include <gtest/gtest.h>

#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

// Whether `value` stands first in a section, seen through a read-only view of its own.
bool FirstByteIs(const UniqueHandle& section, char value) {
    const UniqueView view(MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 1));
    return view && *static_cast<const char*>(view.get()) == value;
}

TEST(SectionWinTest, GlobalNameFirstThenLocal) {
    // Behind a read-only file, a section opens with write access but a writable view of it is
    // refused: its handle is closed and the next name is tried.
    const testing::ScratchFolder folder(L"section");
    const std::wstring path = folder.Path() + L"\\block.bin";
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(SetFilePointer(file.Get(), 4096, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    file.Close();
    file = UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    // The sections there are (g Global, r Global backed read-only, l Local), the one used.
    for (const auto& [sections, used] :
         {std::pair{"", '-'}, {"l", 'l'}, {"gl", 'g'}, {"g", 'g'}, {"rl", 'l'}, {"r", '-'}}) {
        const std::string_view there = sections;
        const bool readOnly = there.starts_with('r');
        const UniqueHandle global(
            there.empty() || there == "l"
                ? nullptr
                : CreateFileMappingW(readOnly ? file.Get() : INVALID_HANDLE_VALUE, nullptr,
                                     readOnly ? PAGE_READONLY : PAGE_READWRITE, 0, 4096,
                                     L"Global\\OrbeluneTestSection"));
        const UniqueHandle local(
            there.ends_with('l') ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                      0, 4096, L"Local\\OrbeluneTestSection")
                                 : nullptr);
        if (there.find_first_of("gr") == 0 && !global.IsValid()) {
            // Windows lets only privileged processes create Global\ sections; Wine does not
            // check that, so the cases run there.
            GTEST_SKIP() << "this session cannot create Global\\ sections";
        }
        MappedSection section;
        ASSERT_EQ(OpenSharedSection(section, L"OrbeluneTestSection", 4096), used != '-') << there;
        if (!section.Bytes().empty()) {
            section.Bytes()[0] = std::byte{'A'};  // through the agent's view
            EXPECT_TRUE(FirstByteIs(used == 'g' ? global : local, 'A')) << there;
            EXPECT_FALSE(readOnly && FirstByteIs(global, 'A'));
            EXPECT_TRUE(OpenSharedSection(section, L"no such name", 4096));  // kept as it is
        }
    }
}

}  // namespace
}  // namespace orbelune
