// Opening a section the way the agent opens the virtual camera's: the Global\ name first, then
// the Local\ one, passing over a section that opens but cannot be mapped for writing. And the
// virtual camera's side: its sections carry the descriptor that lets every signed-in user's
// agent map them, and others find them stamped and ticking.
#include "common/section_win.h"

#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "log/log_access_win.h"
#include "orbelune/vcam_peer_win.h"
#include "tests/support/bytes.h"
#include "tests/support/win_test_support.h"

namespace orbelune::vcam {
namespace {

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
            section.Bytes()[0] = std::byte{'A'};  // through the agent's view, seen through another
            const UniqueView view(
                MapViewOfFile((used == 'g' ? global : local).Get(), FILE_MAP_READ, 0, 0, 1));
            EXPECT_TRUE(view && *static_cast<const char*>(view.get()) == 'A') << there;
            EXPECT_TRUE(OpenSharedSection(section, L"no such name", 4096));  // kept as it is
        }
    }
}

// Looking on keeps Windows' error: no such name (2), another object's name (6), too big (5).
TEST(SectionWinTest, LookingOnKeepsWindowsAnswer) {
    const UniqueHandle mutex(CreateMutexW(nullptr, FALSE, L"Local\\OrbeluneTestHeld"));
    const UniqueHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  4096, L"Local\\OrbeluneTestLooked"));
    for (const auto& [name, size, error] : {std::tuple{L"Local\\OrbeluneTestNone", 80, 2},
                                            {L"Local\\OrbeluneTestHeld", 80, 6},
                                            {L"Local\\OrbeluneTestLooked", 80, 0},
                                            {L"Local\\OrbeluneTestLooked", 1 << 20, 5}}) {
        const SectionLook look = LookAtSection(name, size);
        EXPECT_EQ(std::tuple(look.error, look.opened, look.view != nullptr),
                  std::tuple(static_cast<DWORD>(error), error == 0 || error == 5, error == 0))
            << size;
    }
}

// The ACEs of an object's DACL, in order, each as "SID flags mask" (flags 0x01 files inherit it,
// 0x02 folders do, 0x08 not for the object itself), a denying one as "denied".
std::vector<std::string> Grants(HANDLE object) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_EQ(GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    const UniqueLocalMemory<void> descriptorOwner(descriptor);
    std::vector<std::string> grants;
    for (const AccessEntry& entry : dacl ? ReadAccessEntries(*dacl) : std::vector<AccessEntry>{}) {
        char text[96] = {};
        std::snprintf(text, sizeof text, "%s 0x%02X 0x%X", entry.sid.c_str(), entry.flags,
                      static_cast<unsigned>(entry.mask));
        grants.emplace_back(entry.allowed ? text : "denied");
    }
    return grants;
}

TEST(SectionWinTest, TheVirtualCamerasSectionsSurviveItsRestart) {
    CreatedSections created = OpenOrCreatePeerSections(L"Local\\");
    ASSERT_EQ(created.error.call, nullptr) << created.error.code;
    EXPECT_FALSE(created.Existed() || created.sections.control.existed);
    // SYSTEM and Administrators every right (0xF001F); Interactive users, LocalService (a Frame
    // Server media source), the write-restricted SID (a restricted service token's second check)
    // and the creating account (Wine's one user) map read, map write and query (7).
    const std::vector<std::string> grants = {
        "S-1-5-18 0x00 0xF001F", "S-1-5-32-544 0x00 0xF001F", "S-1-5-4 0x00 0x7",
        "S-1-5-19 0x00 0x7",     "S-1-5-33 0x00 0x7",         "S-1-5-21-0-0-0-1000 0x00 0x7"};
    for (const PeerSection* section :
         {&created.sections.control, &created.sections.capabilities, &created.sections.consumers}) {
        EXPECT_EQ(Grants(section->handle.Get()), grants);
    }
    StampPeerHeaders(created.sections);
    StampDemand(created.sections.Control(), 0x0102030405060708u);
    // The agent maps the three blocks and keeps them; the virtual camera exits and comes back.
    MappedSection agent, capabilities, consumers;
    ASSERT_TRUE(OpenSharedSection(agent, L"OrbeluneVcamControl.v2", 80) &&
                OpenSharedSection(capabilities, L"OrbeluneVcamCapabilities.v1", 2068) &&
                OpenSharedSection(consumers, L"OrbeluneVcamConsumers.v1", 608));
    created = CreatedSections();
    created = OpenOrCreatePeerSections(L"Local\\");
    ASSERT_TRUE(created.Existed()) << created.error.code;
    StampConsumerHeartbeat(created.sections.Control(), 0x0807060504030201u);
    EXPECT_EQ(LoadU64(agent.Bytes(), 0), 0x00000002'4F425643u);  // "CVBO", version 2, kept
    EXPECT_EQ(std::pair(LoadU64(agent.Bytes(), 16), LoadU64(agent.Bytes(), 48)),
              std::pair(0x0102030405060708u, 0x0807060504030201u));  // demand, then heartbeat
    EXPECT_EQ(LoadU64(consumers.Bytes(), 0), 0x00000001'4F42434Fu);  // "OCBO", version 1
}

}  // namespace
}  // namespace orbelune::vcam
