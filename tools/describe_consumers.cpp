#include "tools/describe_consumers.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/bytes.h"
#include "consumers/consumers_block.h"

namespace orbelune {
namespace {

std::string Format(const char* format, auto... values) {
    char text[96] = {};
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Characters that would break the quoting or the line are escaped; the rest is UTF-8.
void AppendQuotedCharacter(std::string& out, std::uint32_t codePoint) {
    if (codePoint == '"' || codePoint == '\\') {
        out += '\\';
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x20 || codePoint == 0x7F) {
        out += Format("\\x%02X", static_cast<unsigned>(codePoint));
    } else {
        AppendUtf8(out, codePoint);
    }
}

// The zero-terminated UTF-16 name field, quoted; a lone surrogate shows as U+FFFD.
std::string QuotedName(std::span<const std::byte> field) {
    std::u16string units;
    bool terminated = false;
    for (size_t i = 0; i + 1 < field.size(); i += 2) {
        const auto unit = static_cast<char16_t>(std::to_integer<unsigned>(field[i]) |
                                                std::to_integer<unsigned>(field[i + 1]) << 8);
        if (unit == 0) {
            terminated = true;
            break;
        }
        units += unit;
    }
    std::string out = "\"";
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool lowFollows =
            i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (high && lowFollows) {
            AppendQuotedCharacter(out,
                                  0x10000 + ((unit - 0xD800u) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendQuotedCharacter(out, 0xFFFD);
        } else {
            AppendQuotedCharacter(out, unit);
        }
    }
    out += '"';
    return terminated ? out : out + " (unterminated)";
}

// The zero-terminated ASCII identity field, quoted; other bytes escaped.
std::string QuotedIdentity(std::span<const std::byte> field) {
    std::string out = "\"";
    bool terminated = false;
    for (const std::byte b : field) {
        const unsigned value = std::to_integer<unsigned>(b);
        if (value == 0) {
            terminated = true;
            break;
        }
        if (value >= 0x80) {
            out += Format("\\x%02X", value);
        } else {
            AppendQuotedCharacter(out, value);
        }
    }
    out += '"';
    return terminated ? out : out + " (unterminated)";
}

// A FILETIME (100 ns units since 1601-01-01 UTC) as "YYYY-MM-DD HH:MM:SS.mmm UTC".
std::string UtcText(std::uint64_t filetime) {
    const std::uint64_t totalSeconds = filetime / 10'000'000;
    const unsigned milliseconds = static_cast<unsigned>(filetime / 10'000 % 1000);
    const unsigned secondOfDay = static_cast<unsigned>(totalSeconds % 86400);
    // Days since 1970-01-01 (1601-01-01 lies 134774 days before), turned into a civil date by
    // counting 400-year eras that start on 1 March (H. Hinnant's days_from_civil, inverted).
    const std::int64_t days = static_cast<std::int64_t>(totalSeconds / 86400) - 134774 + 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return Format("%04d-%02d-%02d %02u:%02u:%02u.%03u UTC", static_cast<int>(year),
                  static_cast<int>(month), static_cast<int>(day), secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60, milliseconds);
}

std::string DescribeSlot(size_t index, std::span<const std::byte> slot) {
    std::string line = "  [" + std::to_string(index) + "] ";
    line += QuotedName(slot.subspan(kSlotDisplayNameOffset, kSlotDisplayNameUnits * 2));
    line += " identity ";
    line += QuotedIdentity(slot.subspan(kSlotIdentityOffset, kSlotIdentityBytes));
    const std::uint32_t packaged = LoadU32(slot, kSlotPackagedOffset);
    line += packaged == 0   ? " desktop"
            : packaged == 1 ? " packaged"
                            : " packaged=" + std::to_string(packaged);
    const std::uint64_t start = LoadU64(slot, kSlotLastUsedStartOffset);
    line += start == 0 ? ", no start time" : ", started " + UtcText(start);
    return line + "\n";
}

}  // namespace

std::string DescribeConsumersBlock(std::span<const std::byte> block) {
    if (block.size() < kConsumersBlockSize) {
        return "consumers block too small: " + std::to_string(block.size()) + " of " +
               std::to_string(kConsumersBlockSize) + " bytes\n";
    }
    const std::uint32_t magic = LoadU32(block, kConsumersMagicOffset);
    const std::uint32_t version = LoadU32(block, kConsumersVersionOffset);
    const std::uint32_t count = LoadU32(block, kConsumersCountOffset);

    std::string text = "magic " + Format("0x%08X", magic);
    text += magic == kConsumersMagic
                ? " valid"
                : " invalid (expected " + Format("0x%08X", kConsumersMagic) + ")";
    text += ", version " + std::to_string(version);
    text += version == kConsumersVersion
                ? " valid"
                : " invalid (expected " + std::to_string(kConsumersVersion) + ")";
    text += "\ncount " + std::to_string(count);
    if (count > kMaxConsumers) {
        text += " (more than the " + std::to_string(kMaxConsumers) + " slots)";
    }
    text += ", updatedTick " + std::to_string(LoadU64(block, kConsumersUpdatedTickOffset));
    text += ", sequence " + std::to_string(LoadU32(block, kConsumersSequenceOffset)) + "\n";
    for (size_t i = 0; i < kMaxConsumers; ++i) {
        const auto slot =
            block.subspan(kConsumersEntriesOffset + i * kConsumerSlotSize, kConsumerSlotSize);
        if (i < count) {
            text += DescribeSlot(i, slot);
        } else if (std::any_of(slot.begin(), slot.end(),
                               [](std::byte b) { return b != std::byte{}; })) {
            text += "  [" + std::to_string(i) + "] beyond the count but not zeroed\n";
        }
    }
    return text;
}

}  // namespace orbelune
