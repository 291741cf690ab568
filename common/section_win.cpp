#include "common/section_win.h"

#include <string>

#include "common/handles_win.h"
#include "orbelune/vcam_blocks.h"

namespace orbelune {

bool OpenSharedSection(MappedSection& section, std::wstring_view name, size_t size) noexcept {
    if (section.view) {
        return true;
    }
    for (const wchar_t* prefix : {vcam::kGlobalPrefix, vcam::kLocalPrefix}) {
        const std::wstring fullName = prefix + std::wstring(name);
        UniqueHandle handle(
            OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName.c_str()));
        if (!handle.IsValid()) {
            continue;
        }
        // A section that cannot be mapped at this size has its handle closed by the owner.
        UniqueView view(MapViewOfFile(handle.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size));
        if (!view) {
            continue;
        }
        section.mappingHandle = std::move(handle);
        section.view = std::move(view);
        section.size = size;
        return true;
    }
    return false;
}

SectionLook LookAtSection(const std::wstring& fullName, size_t size) noexcept {
    SectionLook look;
    look.mapping =
        UniqueHandle(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName.c_str()));
    look.opened = look.mapping.IsValid();
    if (look.opened) {
        look.view.reset(MapViewOfFile(look.mapping.Get(), FILE_MAP_READ, 0, 0, size));
    }
    look.error = look.view ? 0 : GetLastError();
    return look;
}

SectionCopy CopySection(std::wstring_view name, size_t size) {
    SectionCopy copy;
    for (const wchar_t* prefix : {vcam::kGlobalPrefix, vcam::kLocalPrefix}) {
        const std::wstring fullName = prefix + std::wstring(name);
        const SectionLook look = LookAtSection(fullName, size);
        copy.error = look.error;
        if (look.opened && (copy.name.empty() || look.view)) {
            copy.name = fullName;
        }
        if (look.view) {
            const auto* bytes = static_cast<const std::byte*>(look.view.get());
            copy.bytes.assign(bytes, bytes + size);
            break;
        }
    }
    return copy;
}

}  // namespace orbelune
