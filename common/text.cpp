#include "common/text.h"

#include <algorithm>
#include <cstdint>

namespace orbelune {

std::u16string DecimalText(unsigned long long value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::u16string DecimalText(long long value) {
    if (value >= 0) {
        return DecimalText(static_cast<unsigned long long>(value));
    }
    // Negate in unsigned arithmetic so that the smallest value does not overflow.
    std::u16string text = DecimalText(0ULL - static_cast<unsigned long long>(value));
    text.insert(text.begin(), u'-');
    return text;
}

char16_t ToLowerUnit(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

char16_t ToUpperUnit(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

std::u16string ToLowerUnits(std::u16string_view text) {
    std::u16string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), ToLowerUnit);
    return lower;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string ToUtf8(std::wstring_view text) {
    return ToUtf8(std::u16string(text.begin(), text.end()));
}

std::string HexText(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
    return text;
}

std::u16string Utf8ToU16(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80    ? 1
                              : lead >= 0xF0 ? 4
                              : lead >= 0xE0 ? 3
                              : lead >= 0xC2 ? 2
                                             : 0;
        std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool whole = length != 0 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are no characters.
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        whole = whole && c >= kLeast[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        if (!whole) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::u16string Latin1ToU16(std::string_view text) {
    std::u16string units;
    for (const char byte : text) {
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return units;
}

std::string Latin1ToUtf8(std::string_view text) {
    return ToUtf8(Latin1ToU16(text));
}

std::vector<std::string> LastLines(std::string_view text, size_t count) {
    std::vector<std::string> lines;
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') {
        --end;
    }
    while (lines.size() < count && end > 0) {
        const size_t newline = text.rfind('\n', end - 1);
        const size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // Zeros a system stop left where the file's last bytes should have been.
        line.remove_prefix(std::min(line.find_first_not_of('\0'), line.size()));
        lines.emplace_back(line);
        if (newline == std::string_view::npos) {
            break;
        }
        end = newline;
    }
    return {lines.rbegin(), lines.rend()};
}

}  // namespace orbelune
