// A version string runs to its terminating zero, past a shorter length stated for it.
#include <gtest/gtest.h>

#include "common/text_win.h"
#include "consumers/app_identity.h"
#include "tests/support/win_test_support.h"

namespace orbelune {
namespace {

// A version resource node in 16-bit units: byte length, stated value length, type (1 text), key,
// then value and children, each from a 32-bit boundary.
std::u16string Node(std::u16string_view key, std::u16string_view value, char16_t stated,
                    char16_t type, std::u16string_view children = {}) {
    std::u16string node = {0, stated, type};
    node.append(key).append(1 + key.size() % 2, u'\0');
    node.append(value).append(value.size() % 2, u'\0');
    node.append(children);
    node[0] = static_cast<char16_t>(2 * node.size());
    return node;
}

TEST(VersionNameWinTest, TextRunsToItsZeroPastTheStatedLength) {
    // The description states 7 units, "Sample "; its zero comes after "Sample Studio".
    const std::u16string_view description(u"Sample Studio\0", 14);  // with its zero
    std::u16string resource =
        Node(u"VS_VERSION_INFO", {}, 0, 0,
             Node(u"StringFileInfo", {}, 0, 1,
                  Node(u"040904b0", {}, 0, 1, Node(u"FileDescription", description, 7, 1))) +
                 Node(u"VarFileInfo", {}, 0, 1, Node(u"Translation", u"\x0409\x04B0", 4, 0)));
    const testing::ScratchFolder folder(L"version-name");
    const std::wstring path = folder.CopyProgram(L"consumer_fixture_plain.exe", L"app.exe");
    const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    ASSERT_TRUE(update != nullptr &&
                UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), LANG_NEUTRAL,
                                resource.data(), static_cast<DWORD>(2 * resource.size())) &&
                EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(ReadVersionName(ToU16(path)), u"Sample Studio");
}

}  // namespace
}  // namespace orbelune
