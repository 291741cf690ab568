#include "common/section_win.h"

#include <string>

namespace orbelune {

bool OpenSharedSection(MappedSection& section, std::wstring_view name, size_t size) noexcept {
    if (section.view != nullptr) {
        return true;
    }
    for (const wchar_t* prefix : {L"Global\\", L"Local\\"}) {
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

}  // namespace orbelune
