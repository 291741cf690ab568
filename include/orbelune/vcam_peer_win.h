// The virtual camera's side of the Orbelune camera agent's contract, on Windows: it opens the
// three sections, or creates them so that every signed-in user's agent (and the virtual camera
// itself, when it comes back) can open them, and gives vcam_peer.h's calls their typed views.
// C++17, header-only, with nothing but <windows.h> and vcam_peer.h.
//
// The calls, in the order a virtual camera makes them:
//   OpenOrCreatePeerSections(kGlobalPrefix)  once per process (a service or a Frame Server media
//                                            source creates them under Global\; a program a user
//                                            starts, which may not, under Local\, its own
//                                            session's namespace). Sections that outlived an
//                                            earlier run of the virtual camera, held open by the
//                                            agents, are opened again.
//   StampPeerHeaders(sections)               then the agents take the blocks as present
//   StampDemand(sections.Control(), GetTickCount64()) and the consumer ticks (vcam_peer.h)
//   SnapshotCapabilities(sections.Capabilities(), ...), SnapshotConsumers(...)
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
class UniqueSectionValue {
  public:
    UniqueSectionValue() noexcept = default;
    explicit UniqueSectionValue(T value) noexcept : value_(value) {}
    UniqueSectionValue(UniqueSectionValue&& other) noexcept
        : value_(std::exchange(other.value_, nullptr)) {}
    UniqueSectionValue& operator=(UniqueSectionValue&& other) noexcept {
        if (this != &other) {
            Reset();
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    UniqueSectionValue(const UniqueSectionValue&) = delete;
    UniqueSectionValue& operator=(const UniqueSectionValue&) = delete;
    ~UniqueSectionValue() { Reset(); }

    [[nodiscard]] T Get() const noexcept { return value_; }
    void Reset() noexcept {
        if (value_ != nullptr) {
            Traits::Release(std::exchange(value_, nullptr));
        }
    }

  private:
    T value_ = nullptr;
};

struct SectionHandleTraits {
    static void Release(HANDLE handle) noexcept { CloseHandle(handle); }
};

struct SectionViewTraits {
    static void Release(void* view) noexcept { UnmapViewOfFile(view); }
};

}  // namespace detail

// Owns a section handle. CreateFileMappingW gives null, never INVALID_HANDLE_VALUE, for none.
using SectionHandle = detail::UniqueSectionValue<HANDLE, detail::SectionHandleTraits>;

// Owns a mapped view.
using SectionView = detail::UniqueSectionValue<void*, detail::SectionViewTraits>;

// A section the virtual camera opened or created, with a read-write view of its first `size`
// bytes.
struct PeerSection {
    SectionHandle handle;
    SectionView view;
    std::size_t size = 0;
    bool existed = false;  // opened: it outlived an earlier run, or another process made it

    [[nodiscard]] void* Data() const noexcept { return view.Get(); }
};

struct PeerSections {
    PeerSection control, capabilities, consumers;

    [[nodiscard]] ControlView Control() const noexcept { return {control.Data(), control.size}; }
    [[nodiscard]] CapabilitiesView Capabilities() const noexcept {
        return {capabilities.Data(), capabilities.size};
    }
    [[nodiscard]] ConsumersView Consumers() const noexcept {
        return {consumers.Data(), consumers.size};
    }
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
//   the creating account (the token's user), Interactive (S-1-5-4) and LocalService (S-1-5-19):
//     SECTION_QUERY | SECTION_MAP_WRITE | SECTION_MAP_READ (7).
// Interactive is the group of every user signed in at the console or through Remote Desktop, in
// whose sessions the agents run. The creating account is there because the agents keep the
// sections open: a virtual camera that restarts finds them still there and must be able to open
// them again, whatever account it runs as (a standard user is not always Interactive, a service
// never is). LocalService is the account of the Frame Server's media sources, so that a virtual
// camera whose media source runs there opens the sections that its other half created. The
// rights are what OpenFileMappingW with FILE_MAP_READ | FILE_MAP_WRITE and a read-write view
// need, and nothing more: no resizing, no change of the descriptor, no deletion. Authenticated
// Users (S-1-5-11) would do for the agents too, but would also let in network logons, which no
// agent uses. A creating account that is one of the other four gets no second entry.
// It is built with CreateWellKnownSid, GetTokenInformation, InitializeAcl, AddAccessAllowedAce,
// InitializeSecurityDescriptor and SetSecurityDescriptorDacl into buffers of its own, so nothing
// needs freeing. It points into itself, so it stays where it was made.
class SectionSecurity {
  public:
    static constexpr DWORD kFullAccess = SECTION_ALL_ACCESS;
    static constexpr DWORD kMapAccess = SECTION_QUERY | SECTION_MAP_WRITE | SECTION_MAP_READ;

    SectionSecurity() noexcept {
        static constexpr struct {
            WELL_KNOWN_SID_TYPE sid;
            DWORD access;
        } kGrants[] = {
            {WinLocalSystemSid, kFullAccess},
            {WinBuiltinAdministratorsSid, kFullAccess},
            {WinInteractiveSid, kMapAccess},
            {WinLocalServiceSid, kMapAccess},
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
        for (std::size_t i = 0; i + 1 < kSids; ++i) {
            DWORD sidSize = sizeof sids_[i];
            if (!CreateWellKnownSid(kGrants[i].sid, nullptr, sids_[i], &sidSize)) {
                error_ = {"CreateWellKnownSid", GetLastError()};
                return;
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
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            error_ = {"OpenProcessToken", GetLastError()};
            return false;
        }
        alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
        DWORD size = 0;
        const BOOL read = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
        const DWORD code = GetLastError();
        CloseHandle(token);
        const auto* tokenUser = static_cast<const TOKEN_USER*>(static_cast<const void*>(user));
        if (!read || !CopySid(SECURITY_MAX_SID_SIZE, sid, tokenUser->User.Sid)) {
            error_ = {read ? "CopySid" : "GetTokenInformation", read ? GetLastError() : code};
            return false;
        }
        return true;
    }

    static constexpr std::size_t kSids = 5;  // the four above and the creating account
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

// Stamps the control and consumers headers (vcam_peer.h).
inline void StampPeerHeaders(const PeerSections& sections) noexcept {
    StampPeerHeaders(sections.Control(), sections.Consumers());
}

}  // namespace orbelune::vcam
