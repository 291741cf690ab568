#include "common/system_error_win.h"

#include <windows.h>

#include "common/handles_win.h"
#include "common/system_error.h"
#include "common/text_win.h"

namespace orbelune {

std::u16string DescribeSystemError(std::uint32_t code) {
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer),
        0, nullptr);
    const UniqueLocalMemory<wchar_t> message(buffer);
    std::u16string text;
    if (length != 0 && message) {
        text = ToU16(std::wstring_view(message.get(), length));
    }
    return SystemErrorText(code, text);
}

}  // namespace orbelune
