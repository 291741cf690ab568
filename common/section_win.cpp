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

SectionCopy CopySection(std::wstring_view name, size_t size) {
    SectionCopy copy;
    for (const wchar_t* prefix : {vcam::kGlobalPrefix, vcam::kLocalPrefix}) {
        const std::wstring fullName = prefix + std::wstring(name);
        const UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, fullName.c_str()));
        const UniqueView view(
            section.IsValid() ? MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, size) : nullptr);
        if (section.IsValid() && (copy.name.empty() || view)) {
            copy.name = fullName;
        }
        if (view) {
            const auto* bytes = static_cast<const std::byte*>(view.get());
            copy.bytes.assign(bytes, bytes + size);
            break;
        }
    }
    return copy;
}

}  // namespace orbelune
