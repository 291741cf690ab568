#include "common/path_win.h"

#include <windows.h>

#include <vector>

#include "common/path.h"
#include "common/text_win.h"

namespace orbelune {

std::u16string ModulePath() {
    std::vector<wchar_t> buffer(260);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        // A path one unit shorter than the buffer may have been cut: fetch it again, larger.
        if (length < size - 1) {
            return ToU16(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string ModuleDirectory() {
    return FolderOfPath(ModulePath());
}

}  // namespace orbelune
