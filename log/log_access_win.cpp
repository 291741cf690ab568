#include "log/log_access_win.h"

#include <aclapi.h>
#include <sddl.h>

#include "common/handles_win.h"
#include "common/path.h"
#include "common/text_win.h"
#include "log/log.h"

namespace orbelune {

std::vector<AccessEntry> ReadAccessEntries(const ACL& dacl) {
    std::vector<AccessEntry> entries;
    for (DWORD i = 0; i < dacl.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(&dacl), i, &ace)) {
            break;
        }
        // The allowed and denied entries share their layout: header, mask, SID.
        const auto* entry = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE &&
            entry->Header.AceType != ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(const_cast<DWORD*>(&entry->SidStart), &sid);
        const UniqueLocalMemory<wchar_t> sidOwner(sid);
        std::string sidText;
        for (const wchar_t* unit = sid; unit != nullptr && *unit != L'\0'; ++unit) {
            sidText += static_cast<char>(*unit);  // "S-", digits and dashes only
        }
        entries.push_back({entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE, sidText, entry->Mask,
                           entry->Header.AceFlags});
    }
    return entries;
}

std::optional<LogPathSecurity> ReadLogPathSecurity(std::u16string_view path) noexcept {
    // One handle for all of it, on the name itself: a junction or link is not followed.
    const UniqueHandle file(
        CreateFileW(ToWide(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &information)) {
        return std::nullopt;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueLocalMemory<void> descriptorOwner(descriptor);
    LogPathSecurity security;
    security.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    security.links = information.nNumberOfLinks;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    security.kept = GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                    (control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED)) != 0;
    security.nullDacl = dacl == nullptr;
    if (dacl != nullptr) {
        security.dacl = ReadAccessEntries(*dacl);
    }
    return security;
}

std::array<std::optional<LogPathSecurity>, 3> ReadLogAccess(std::u16string_view baseFolder) {
    const std::u16string file = LogFilePath(baseFolder), logFolder = FolderOfPath(file);
    return {ReadLogPathSecurity(FolderOfPath(logFolder)), ReadLogPathSecurity(logFolder),
            ReadLogPathSecurity(file)};
}

}  // namespace orbelune
