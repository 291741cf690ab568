// Opening a shared section that the virtual camera created. The agent never creates one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles_win.h"

namespace orbelune {

// An opened and mapped section, owning its handle and its view. The agent keeps its sections
// for the life of the process: its state is never destroyed, so neither is ever closed.
struct MappedSection {
    UniqueHandle mappingHandle;
    UniqueView view;
    size_t size = 0;

    [[nodiscard]] std::span<std::byte> Bytes() const {
        return {static_cast<std::byte*>(view.get()), view ? size : 0};
    }
};

// Maps `size` bytes of the section "Global\<name>", else "Local\<name>", with read and write
// access. A name whose section opens but cannot be mapped at that size has its handle closed
// and the next name is tried. Returns at once when a view is already held; otherwise tries
// both names again at every call. Returns whether a view is held.
bool OpenSharedSection(MappedSection& section, std::wstring_view name, size_t size) noexcept;

// A section opened by its full name with the agent's access (read and write) and mapped
// read-only at `size` bytes, to look on without taking part: a program that may open it as the
// agent does gets Windows' own answer, and cannot write. Never creates a section. `error` is
// Windows' error of the open (2 no such section, 5 access denied, 6 the name belongs to another
// kind of object) or, after an open, of the map; 0 when `view` is held.
struct SectionLook {
    UniqueHandle mapping;
    UniqueView view;
    bool opened = false;
    DWORD error = 0;
};
SectionLook LookAtSection(const std::wstring& fullName, size_t size) noexcept;

// A section as another process finds it, copied.
struct SectionCopy {
    std::wstring name;             // the full name it opened by; empty when neither name opens
    std::vector<std::byte> bytes;  // its first `size` bytes; empty when they cannot be mapped
    DWORD error = 0;               // LookAtSection's error of the last name tried
};

// Copies the first `size` bytes of "Global\<name>", else "Local\<name>", looked at with
// LookAtSection. A section that opens but cannot be mapped at `size` is named with no bytes,
// unless the other name gives them.
SectionCopy CopySection(std::wstring_view name, size_t size);

}  // namespace orbelune
