#include "common/system_error.h"

#include "common/text.h"

namespace orbelune {

std::u16string SystemErrorText(std::uint32_t code, std::u16string_view systemMessage) {
    std::u16string text = DecimalText(static_cast<unsigned long long>(code));
    while (!systemMessage.empty() &&
           (systemMessage.back() == u'\r' || systemMessage.back() == u'\n' ||
            systemMessage.back() == u' ')) {
        systemMessage.remove_suffix(1);
    }
    if (!systemMessage.empty()) {
        text += u" (";
        text += systemMessage;
        text += u")";
    }
    return text;
}

}  // namespace orbelune
