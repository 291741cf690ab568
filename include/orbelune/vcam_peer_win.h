// The virtual camera's side of the Orbelune camera agent's contract, on Windows: it creates the
// three sections so that every signed-in user's agent can open them, stamps their headers and
// its ticks, and takes snapshots of what the agent publishes. C++17, header-only, with nothing
// but <windows.h> and vcam_contract.h.
//
// The calls, in the order a virtual camera makes them:
//   CreatePeerSections(kGlobalPrefix)    once, before any agent looks (a service creates them
//                                        under Global\; a program a user starts, which may not,
//                                        under Local\, its own session's namespace)
//   StampPeerHeaders(sections)           then the agents take the blocks as present
//   StampTick(sections.control, kControlDemandTickField) and the consumer ticks, every few
//                                        hundred milliseconds for as long as they hold (a tick
//                                        counts for kFreshnessMs)
//   SnapshotCapabilities(sections.capabilities), SnapshotConsumers(sections.consumers)
//                                        whenever it wants them; an empty result means "not now"
// The sections end when the last process holding them lets go: the virtual camera's owners
// below, and the agents, which keep theirs for their lifetime.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "vcam_contract.h"

namespace orbelune::vcam {

// Owns a section handle.
class SectionHandle {
  public:
    SectionHandle() noexcept = default;
    explicit SectionHandle(HANDLE handle) noexcept : handle_(handle) {}
    SectionHandle(SectionHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)) {}
    SectionHandle& operator=(SectionHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    SectionHandle(const SectionHandle&) = delete;
    SectionHandle& operator=(const SectionHandle&) = delete;
    ~SectionHandle() { Reset(); }

    [[nodiscard]] HANDLE Get() const noexcept { return handle_; }
    void Reset() noexcept {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

  private:
    HANDLE handle_ = nullptr;  // CreateFileMappingW gives null, never INVALID_HANDLE_VALUE
};

// Owns a mapped view.
class SectionView {
  public:
    SectionView() noexcept = default;
    explicit SectionView(void* view) noexcept : view_(view) {}
    SectionView(SectionView&& other) noexcept : view_(std::exchange(other.view_, nullptr)) {}
    SectionView& operator=(SectionView&& other) noexcept {
        if (this != &other) {
            Reset();
            view_ = std::exchange(other.view_, nullptr);
        }
        return *this;
    }
    SectionView(const SectionView&) = delete;
    SectionView& operator=(const SectionView&) = delete;
    ~SectionView() { Reset(); }

    [[nodiscard]] void* Get() const noexcept { return view_; }
    void Reset() noexcept {
        if (view_ != nullptr) {
            UnmapViewOfFile(view_);
            view_ = nullptr;
        }
    }

  private:
    void* view_ = nullptr;
};

// A section the virtual camera created, with a read-write view of its first `size` bytes.
struct PeerSection {
    SectionHandle handle;
    SectionView view;
    std::size_t size = 0;

    [[nodiscard]] void* Data() const noexcept { return view.Get(); }
};

struct PeerSections {
    PeerSection control, capabilities, consumers;
};

// A Win32 call that failed: its name and GetLastError right after it.
struct PeerError {
    const char* call = nullptr;  // null: nothing failed
    DWORD code = 0;
};

// The security descriptor of the sections. Without one a section takes the default of its
// creator's token, and a service's default grants nothing to users: the agent, which runs as
// the signed-in user, could not open it. This discretionary ACL grants:
//   SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544): SECTION_ALL_ACCESS, as a default does;
//   Interactive (S-1-5-4): SECTION_MAP_READ | SECTION_MAP_WRITE | SECTION_QUERY.
// Interactive is the group every user signed in at the console or through Remote Desktop
// belongs to, in whose sessions the agents run; the rights are what OpenFileMappingW with
// FILE_MAP_READ | FILE_MAP_WRITE and a read-write view need, and nothing more: no resizing, no
// change of the descriptor, no deletion. Authenticated Users (S-1-5-11) would do too, but
// would also let in network and service logons, which no agent uses.
// It is built with CreateWellKnownSid, InitializeAcl, AddAccessAllowedAce,
// InitializeSecurityDescriptor and SetSecurityDescriptorDacl into buffers of its own, so
// nothing needs freeing (the SDDL text form would need sddl.h and LocalFree). It points into
// itself, so it stays where it was made.
class SectionSecurity {
  public:
    SectionSecurity() noexcept {
        static constexpr struct {
            WELL_KNOWN_SID_TYPE sid;
            DWORD access;
        } kGrants[] = {
            {WinLocalSystemSid, SECTION_ALL_ACCESS},
            {WinBuiltinAdministratorsSid, SECTION_ALL_ACCESS},
            {WinInteractiveSid, SECTION_MAP_READ | SECTION_MAP_WRITE | SECTION_QUERY},
        };
        static_assert(sizeof kGrants / sizeof kGrants[0] == kSids, "one SID buffer per grant");
        auto* acl = reinterpret_cast<ACL*>(acl_);
        if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION)) {
            error_ = {"InitializeAcl", GetLastError()};
            return;
        }
        for (std::size_t i = 0; i < kSids; ++i) {
            DWORD sidSize = sizeof sids_[i];
            if (!CreateWellKnownSid(kGrants[i].sid, nullptr, sids_[i], &sidSize)) {
                error_ = {"CreateWellKnownSid", GetLastError()};
                return;
            }
            if (!AddAccessAllowedAce(acl, ACL_REVISION, kGrants[i].access, sids_[i])) {
                error_ = {"AddAccessAllowedAce", GetLastError()};
                return;
            }
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
    static constexpr std::size_t kSids = 3;
    alignas(DWORD) BYTE sids_[kSids][SECURITY_MAX_SID_SIZE] = {};
    alignas(DWORD)
        BYTE acl_[sizeof(ACL) + kSids * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)] = {};
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
    PeerError error_;
};

struct CreatedSection {
    PeerSection section;   // mapped unless `error` names a call
    bool existed = false;  // the name was taken: this is that section, with its own descriptor
    PeerError error;
};

// Creates the section `fullName` (a prefix and a name), `size` bytes backed by the paging file
// and zero-filled, with the descriptor above, and maps all of it for reading and writing. A
// section of that name that exists already is opened instead, as Windows does, and its first
// `size` bytes mapped.
[[nodiscard]] inline CreatedSection CreatePeerSection(const wchar_t* fullName,
                                                      std::size_t size) noexcept {
    CreatedSection created;
    SectionSecurity security;
    if (security.Attributes() == nullptr) {
        created.error = security.Error();
        return created;
    }
    SetLastError(ERROR_SUCCESS);  // CreateFileMappingW sets it only for an existing section
    const auto size64 = static_cast<std::uint64_t>(size);
    HANDLE handle =
        CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE,
                           static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64), fullName);
    if (handle == nullptr) {
        created.error = {"CreateFileMappingW", GetLastError()};
        return created;
    }
    created.existed = GetLastError() == ERROR_ALREADY_EXISTS;
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
    const wchar_t* failedName = nullptr;  // the section whose creation failed
    PeerError error;
};

// Creates the control, capabilities and consumers sections, at their blocks' sizes, under
// `prefix` (kGlobalPrefix or kLocalPrefix). On a failure none is kept.
[[nodiscard]] inline CreatedSections CreatePeerSections(const wchar_t* prefix) noexcept {
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
        CreatedSection one = CreatePeerSection((std::wstring(prefix) + s.name).c_str(), s.size);
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

// Stamps the control and consumers headers with the expected magic and version; until then
// the agents take those blocks as missing. The agent stamps the capabilities block itself.
inline void StampPeerHeaders(const PeerSections& sections) noexcept {
    StampControlHeader(sections.control.Data(), sections.control.size);
    StampConsumersHeader(sections.consumers.Data(), sections.consumers.size);
}

// Stamps a tick of the control block (kControlDemandTickField, kControlConsumerStartTickField,
// kControlConsumerHeartbeatTickField) with `now`, GetTickCount64 by default, in one aligned
// interlocked 64-bit store, so that an agent never reads half of an old and half of a new
// value. Nothing when the section does not hold the field.
inline void StampTick(const PeerSection& control, Field tick,
                      std::uint64_t now = GetTickCount64()) noexcept {
    if (control.Data() != nullptr && tick.size == 8 && tick.offset + tick.size <= control.size) {
        InterlockedExchange64(
            reinterpret_cast<volatile LONG64*>(detail::At(control.Data(), tick.offset)),
            static_cast<LONG64>(now));
    }
}

// The snapshots of vcam_contract.h, over the virtual camera's own views.
[[nodiscard]] inline std::optional<CapabilitiesReading> SnapshotCapabilities(
    const PeerSection& capabilities) noexcept {
    return SnapshotCapabilities(capabilities.Data(), capabilities.size);
}

[[nodiscard]] inline std::optional<ConsumersReading> SnapshotConsumers(
    const PeerSection& consumers) noexcept {
    return SnapshotConsumers(consumers.Data(), consumers.size);
}

}  // namespace orbelune::vcam
