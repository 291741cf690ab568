// The virtual camera's side of the Orbelune camera agent's blocks, on Windows: it opens the three
// sections, or creates them so that every signed-in user's agent (and the virtual camera itself,
// when it comes back) can open them, and gives vcam_peer.h's calls their typed views. C++17,
// header-only, with nothing but <windows.h> and vcam_peer.h.
//
// The calls, in the order a virtual camera makes them:
//   OpenOrCreatePeerSections(kGlobalPrefix)  once per process (a service or a Frame Server media
//                                            source creates them under Global\; a program a user
//                                            starts, which may not, under Local\, its own
//                                            session's namespace). Sections that outlived an
//                                            earlier run of the virtual camera, held open by the
//                                            agents, are opened again. Keep the result: the views
//                                            live as long as it does, and none can be taken from
//                                            a temporary.
//   StampPeerHeaders(sections)               then the agents take the blocks as present
//   StampDemand(sections.Control(), GetTickCount64()) and the consumer ticks (vcam_peer.h)
//   TakeWhenChanged(sections.Capabilities(), latest), and the same for sections.Consumers()
//   StopDemand(sections.Control())           when the camera is no longer used, and on shutdown
// The sections end when the last process holding them lets go: the virtual camera's owners
// below, and the agents, which keep theirs for their lifetime.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "vcam_peer.h"

namespace orbelune::vcam {

namespace detail {

// Owns one value that Windows hands out, given back once with `Traits::Release` when the owner
// ends or is reset; null is empty.
template <typename T, typename Traits>
class UniqueWinValue {
  public:
    UniqueWinValue() noexcept = default;
    explicit UniqueWinValue(T value) noexcept : value_(value) {}
    UniqueWinValue(UniqueWinValue&& other) noexcept
        : value_(std::exchange(other.value_, nullptr)) {}
    UniqueWinValue& operator=(UniqueWinValue&& other) noexcept {
        if (this != &other) {
            Reset();
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    UniqueWinValue(const UniqueWinValue&) = delete;
    UniqueWinValue& operator=(const UniqueWinValue&) = delete;
    ~UniqueWinValue() { Reset(); }

    [[nodiscard]] T Get() const noexcept { return value_; }
    void Reset() noexcept {
        if (value_ != nullptr) {
            Traits::Release(std::exchange(value_, nullptr));
        }
    }

  private:
    T value_ = nullptr;
};

struct HandleTraits {
    static void Release(HANDLE handle) noexcept { CloseHandle(handle); }
};

struct ViewTraits {
    static void Release(void* view) noexcept { UnmapViewOfFile(view); }
};

// Owns a kernel handle whose "none" is null (sections, tokens).
using OwnedHandle = UniqueWinValue<HANDLE, HandleTraits>;

}  // namespace detail

// Owns a section handle. CreateFileMappingW gives null, never INVALID_HANDLE_VALUE, for none.
using SectionHandle = detail::OwnedHandle;

// Owns a mapped view.
using SectionView = detail::UniqueWinValue<void*, detail::ViewTraits>;

// A section the virtual camera opened or created, with a read-write view of its first `size`
// bytes. Its memory lives as long as the section: none is handed out by a temporary.
struct PeerSection {
    SectionHandle handle;
    SectionView view;
    std::size_t size = 0;
    bool existed = false;  // opened: it outlived an earlier run, or another process made it

    [[nodiscard]] void* Data() const& noexcept { return view.Get(); }
    void* Data() const&& = delete;
};

// The three sections, and the views of their blocks for vcam_peer.h's calls. The control view,
// the only one written through, comes from here alone; no view comes from a temporary, whose
// sections are unmapped at the end of the statement.
struct PeerSections {
    PeerSection control, capabilities, consumers;

    [[nodiscard]] ControlView Control() const& noexcept {
        return detail::ControlViews::Over(control.Data(), control.size);
    }
    [[nodiscard]] CapabilitiesView Capabilities() const& noexcept {
        return {capabilities.Data(), capabilities.size};
    }
    [[nodiscard]] ConsumersView Consumers() const& noexcept {
        return {consumers.Data(), consumers.size};
    }
    ControlView Control() const&& = delete;
    CapabilitiesView Capabilities() const&& = delete;
    ConsumersView Consumers() const&& = delete;
};

// A Win32 call that failed: its name and GetLastError right after it.
struct PeerError {
    const char* call = nullptr;  // null: nothing failed
    DWORD code = 0;
};

// The security descriptor of the sections a virtual camera creates. Without one a section takes
// the default of its creator's token, which grants nothing to other accounts: the agent, which
// runs as the signed-in user, could not open it. The discretionary ACL grants:
//   SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544): SECTION_ALL_ACCESS (0xF001F), as a
//     default does;
//   Interactive (S-1-5-4), LocalService (S-1-5-19), the write-restricted SID (S-1-5-33) and the
//     creating account (the token's user): SECTION_QUERY | SECTION_MAP_WRITE | SECTION_MAP_READ
//     (7).
// Interactive is the group of every user signed in at the console or through Remote Desktop, in
// whose sessions the agents run. The creating account is there because the agents keep the
// sections open: a virtual camera that restarts finds them still there and must be able to open
// them again, whatever account it runs as (a standard user is not always Interactive, a service
// never is). LocalService is the account of the Frame Server's media sources, so that a virtual
// camera whose media source runs there opens the sections that its other half created.
// The write-restricted SID is for a service whose token is restricted: a service of the
// restricted SID type gets its service SID, Everyone, its logon SID and S-1-5-33 as restricting
// SIDs, and Windows grants such a token a right only when the ACL grants it both to the token's
// own SIDs and to one of the restricting SIDs (for a write-restricted token, only the write rights
// are checked twice). Whether the Frame Server's token is restricted is not documented; with the
// grant a media source whose token is restricted still maps the sections for writing. The grant
// widens nothing: S-1-5-33 is never one of a token's own SIDs, so it only ever counts in that
// second check, after the token's own SIDs have passed the first.
// The rights are what OpenFileMappingW with FILE_MAP_READ | FILE_MAP_WRITE and a read-write view
// need, and nothing more: no resizing, no change of the descriptor, no deletion. Authenticated
// Users (S-1-5-11) would do for the agents too, but would also let in network logons, which no
// agent uses; Everyone would let in anyone. A creating account that is one of the others gets no
// second entry.
// It is built with InitializeSid, GetSidSubAuthority, GetTokenInformation, InitializeAcl,
// AddAccessAllowedAce, InitializeSecurityDescriptor and SetSecurityDescriptorDacl into buffers of
// its own, so nothing needs freeing. It points into itself, so it stays where it was made.
class SectionSecurity {
  public:
    static constexpr DWORD kFullAccess = SECTION_ALL_ACCESS;
    static constexpr DWORD kMapAccess = SECTION_QUERY | SECTION_MAP_WRITE | SECTION_MAP_READ;

    SectionSecurity() noexcept {
        // Each SID under the NT authority (S-1-5-...), by its one or two subauthorities.
        static constexpr struct {
            BYTE count;
            DWORD subauthorities[2];
            DWORD access;
        } kGrants[] = {
            {1, {SECURITY_LOCAL_SYSTEM_RID}, kFullAccess},
            {2, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}, kFullAccess},
            {1, {SECURITY_INTERACTIVE_RID}, kMapAccess},
            {1, {SECURITY_LOCAL_SERVICE_RID}, kMapAccess},
            {1, {SECURITY_WRITE_RESTRICTED_CODE_RID}, kMapAccess},
        };
        static_assert(sizeof kGrants / sizeof kGrants[0] + 1 == kSids, "one SID buffer per grant");
        ACL* acl = static_cast<ACL*>(static_cast<void*>(acl_));
        if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION)) {
            error_ = {"InitializeAcl", GetLastError()};
            return;
        }
        bool creatorListed = false;
        if (!CreatorSid(sids_[kSids - 1])) {
            return;
        }
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        for (std::size_t i = 0; i + 1 < kSids; ++i) {
            if (!InitializeSid(sids_[i], &ntAuthority, kGrants[i].count)) {
                error_ = {"InitializeSid", GetLastError()};
                return;
            }
            for (BYTE n = 0; n < kGrants[i].count; ++n) {
                *GetSidSubAuthority(sids_[i], n) = kGrants[i].subauthorities[n];
            }
            creatorListed = creatorListed || EqualSid(sids_[i], sids_[kSids - 1]);
            if (!AddAccessAllowedAce(acl, ACL_REVISION, kGrants[i].access, sids_[i])) {
                error_ = {"AddAccessAllowedAce", GetLastError()};
                return;
            }
        }
        if (!creatorListed &&
            !AddAccessAllowedAce(acl, ACL_REVISION, kMapAccess, sids_[kSids - 1])) {
            error_ = {"AddAccessAllowedAce", GetLastError()};
            return;
        }
        if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) {
            error_ = {"InitializeSecurityDescriptor", GetLastError()};
            return;
        }
        if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
            error_ = {"SetSecurityDescriptorDacl", GetLastError()};
            return;
        }
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    SectionSecurity(const SectionSecurity&) = delete;
    SectionSecurity& operator=(const SectionSecurity&) = delete;
    ~SectionSecurity() = default;

    // For CreateFileMappingW; null when the descriptor could not be built (see Error()).
    [[nodiscard]] SECURITY_ATTRIBUTES* Attributes() noexcept {
        return error_.call == nullptr ? &attributes_ : nullptr;
    }
    [[nodiscard]] PeerError Error() const noexcept { return error_; }

  private:
    // The user SID of this process's token, copied into `sid`.
    bool CreatorSid(BYTE (&sid)[SECURITY_MAX_SID_SIZE]) noexcept {
        HANDLE opened = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
            error_ = {"OpenProcessToken", GetLastError()};
            return false;
        }
        const detail::OwnedHandle token(opened);
        alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
        DWORD size = 0;
        if (!GetTokenInformation(token.Get(), TokenUser, user, sizeof user, &size)) {
            error_ = {"GetTokenInformation", GetLastError()};
            return false;
        }
        const auto* tokenUser = static_cast<const TOKEN_USER*>(static_cast<const void*>(user));
        if (!CopySid(SECURITY_MAX_SID_SIZE, sid, tokenUser->User.Sid)) {
            error_ = {"CopySid", GetLastError()};
            return false;
        }
        return true;
    }

    static constexpr std::size_t kSids = 6;  // the five above and the creating account
    alignas(DWORD) BYTE sids_[kSids][SECURITY_MAX_SID_SIZE] = {};
    alignas(DWORD)
        BYTE acl_[sizeof(ACL) + kSids * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)] = {};
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
    PeerError error_;
};

struct CreatedSection {
    PeerSection section;  // mapped unless `error` names a call; `existed` says which way
    PeerError error;
};

// Opens the section `fullName` (a prefix and a name) with the access a virtual camera needs, or,
// when there is none of that name, creates it: `size` bytes backed by the paging file and
// zero-filled, with the descriptor above. Either way maps its first `size` bytes for reading and
// writing. Opening first matters: creating an existing section opens it too, but asks for every
// right, which the descriptor gives its creating account only to map it.
[[nodiscard]] inline CreatedSection OpenOrCreatePeerSection(const wchar_t* fullName,
                                                            std::size_t size) noexcept {
    CreatedSection created;
    HANDLE handle = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName);
    created.section.existed = handle != nullptr;
    if (handle == nullptr) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            created.error = {"OpenFileMappingW", GetLastError()};
            return created;
        }
        SectionSecurity security;
        if (security.Attributes() == nullptr) {
            created.error = security.Error();
            return created;
        }
        const auto size64 = static_cast<std::uint64_t>(size);
        handle = CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE,
                                    static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64),
                                    fullName);
        if (handle == nullptr) {
            created.error = {"CreateFileMappingW", GetLastError()};
            return created;
        }
        // Made by another process between the two calls.
        created.section.existed = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    SectionHandle owner(handle);
    void* view = MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
    if (view == nullptr) {
        created.error = {"MapViewOfFile", GetLastError()};
        return created;
    }
    created.section.handle = std::move(owner);
    created.section.view = SectionView(view);
    created.section.size = size;
    return created;
}

struct CreatedSections {
    PeerSections sections;                // all three, unless `error` names a call
    const wchar_t* failedName = nullptr;  // the section that could not be opened or created
    PeerError error;

    // Whether every section was there already: the virtual camera ran before, and agents kept
    // the sections (with their ticks, headers and publications).
    [[nodiscard]] bool Existed() const noexcept {
        return sections.control.existed && sections.capabilities.existed &&
               sections.consumers.existed;
    }
};

// Opens or creates the control, capabilities and consumers sections, at their blocks' sizes,
// under `prefix` (kGlobalPrefix or kLocalPrefix). On a failure none is kept.
[[nodiscard]] inline CreatedSections OpenOrCreatePeerSections(const wchar_t* prefix) noexcept {
    CreatedSections created;
    const struct {
        const wchar_t* name;
        std::size_t size;
        PeerSection* section;
    } sections[] = {
        {kControlSectionName, kControlBlockSize, &created.sections.control},
        {kCapabilitiesSectionName, kCapabilitiesBlockSize, &created.sections.capabilities},
        {kConsumersSectionName, kConsumersBlockSize, &created.sections.consumers},
    };
    for (const auto& s : sections) {
        wchar_t fullName[64] = {};  // the longest prefix and name, with room to spare
        std::size_t length = 0;
        for (const wchar_t* part : {prefix, s.name}) {
            for (; *part != 0 && length + 1 < sizeof fullName / sizeof fullName[0]; ++part) {
                fullName[length++] = *part;
            }
        }
        CreatedSection one = OpenOrCreatePeerSection(fullName, s.size);
        if (one.error.call != nullptr) {
            created.sections = PeerSections();
            created.failedName = s.name;
            created.error = one.error;
            return created;
        }
        *s.section = std::move(one.section);
    }
    return created;
}

// Stamps the control and consumers headers with the magic and version the agent expects; until
// then the agent takes those blocks as missing. (The agent stamps the capabilities header
// itself.) A section too small for its block is left as it is.
inline void StampPeerHeaders(const PeerSections& sections) noexcept {
    const struct {
        const PeerSection& section;
        std::size_t blockSize;
        Field magicField, versionField;
        std::uint32_t magic, version;
    } headers[] = {
        {sections.control, kControlBlockSize, kControlMagicField, kControlVersionField,
         kControlMagic, kControlVersion},
        {sections.consumers, kConsumersBlockSize, kConsumersMagicField, kConsumersVersionField,
         kConsumersMagic, kConsumersVersion},
    };
    for (const auto& h : headers) {
        if (detail::Holds(h.section.Data(), h.section.size, h.blockSize)) {
            detail::Store(h.section.Data(), h.magicField.offset, h.magic);
            detail::Store(h.section.Data(), h.versionField.offset, h.version);
        }
    }
}

}  // namespace orbelune::vcam
