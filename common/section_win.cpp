#include "common/section_win.h"

#include <string>

#include "common/handles_win.h"
#include "orbelune/vcam_contract.h"

namespace orbelune {

bool OpenSharedSection(MappedSection& section, std::wstring_view name, size_t size) noexcept {
    if (section.view != nullptr) {
        return true;
    }
    for (const wchar_t* prefix : {vcam::kGlobalPrefix, vcam::kLocalPrefix}) {
        const std::wstring fullName = prefix + std::wstring(name);
        HANDLE handle = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName.c_str());
        if (handle == nullptr) {
            continue;
        }
        void* view = MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
        if (view == nullptr) {
            CloseHandle(handle);
            continue;
        }
        section.mappingHandle = handle;
        section.view = view;
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
        const void* view =
            section.IsValid() ? MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, size) : nullptr;
        if (section.IsValid() && (copy.name.empty() || view != nullptr)) {
            copy.name = fullName;
        }
        if (view != nullptr) {
            copy.bytes.assign(static_cast<const std::byte*>(view),
                              static_cast<const std::byte*>(view) + size);
            UnmapViewOfFile(view);
            break;
        }
    }
    return copy;
}

}  // namespace orbelune
