#include "log/log_lines.h"

#include "common/text.h"

namespace orbelune {

std::u16string ProducerNotFoundLine(std::u16string_view producerExe) {
    return std::u16string(kProducerNotFoundPrefix) + std::u16string(producerExe);
}

std::u16string ProducerStartFailedLine(std::u16string_view error) {
    return std::u16string(kProducerStartFailedPrefix) + std::u16string(error);
}

std::u16string ProducerStartedLine(std::int32_t cameraIndex, std::u16string_view provider) {
    return std::u16string(kProducerStartedPrefix) + u"camera-index=" +
           DecimalText(static_cast<long long>(cameraIndex)) + u" provider=" +
           std::u16string(provider) + u")";
}

std::u16string IdleStopLine(std::uint64_t idleStopMs) {
    return u"no demand for " + DecimalText(static_cast<unsigned long long>(idleStopMs)) +
           u" ms; stopping producer";
}

std::u16string PublishedLine(std::size_t count) {
    return std::u16string(kPublishedPrefix) + DecimalText(static_cast<unsigned long long>(count)) +
           std::u16string(kPublishedSuffix);
}

std::string LogMessageBytes(std::u16string_view message) {
    std::string bytes;
    bytes.reserve(message.size() + 8);
    for (const char16_t unit : message) {
        if (unit == u'\n') {
            bytes += "\r\n";
        } else if (unit <= 0xFF) {
            bytes += static_cast<char>(static_cast<unsigned char>(unit));
        } else {
            bytes += '?';
        }
    }
    return bytes;
}

std::string FormatLogLine(const std::tm& localTime, std::u16string_view message) {
    char stamp[32] = {};
    const size_t stampLength = std::strftime(stamp, sizeof stamp, kLogTimeFormat, &localTime);
    return std::string(stamp, stampLength) + ' ' + LogMessageBytes(message) + "\r\n";
}

std::optional<LogLineParts> ParseLogLine(std::string_view line) {
    // kLogTimeFormat's shape, then the space: digits where digits stand, separators as they are.
    constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd ";
    static_assert(kShape.size() == kLogMessageOffset);
    if (line.size() < kShape.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) {
            value = value * 10 + (line[i] - '0');
        }
        return value;
    };
    LogLineParts parts{{}, line.substr(kLogMessageOffset)};
    parts.time.tm_year = number(0, 4) - 1900;
    parts.time.tm_mon = number(5, 2) - 1;
    parts.time.tm_mday = number(8, 2);
    parts.time.tm_hour = number(11, 2);
    parts.time.tm_min = number(14, 2);
    parts.time.tm_sec = number(17, 2);
    return parts;
}

bool LogMessageStartsWith(std::string_view message, std::u16string_view text) {
    return message.starts_with(LogMessageBytes(text));
}

}  // namespace orbelune
