#include "log/log.h"

#include "common/path.h"

namespace orbelune {

std::string FormatLogLine(const std::tm& localTime, std::u16string_view message) {
    char stamp[32] = {};
    const size_t stampLength = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &localTime);

    std::string line;
    line.reserve(stampLength + message.size() + 8);
    line.append(stamp, stampLength);
    line += ' ';
    for (const char16_t unit : message) {
        if (unit == u'\n') {
            line += "\r\n";
        } else if (unit <= 0xFF) {
            line += static_cast<char>(static_cast<unsigned char>(unit));
        } else {
            line += '?';
        }
    }
    line += "\r\n";
    return line;
}

std::optional<std::u16string> ChooseLogBaseFolder(std::optional<std::u16string> knownFolder,
                                                  std::optional<std::u16string> environmentFolder,
                                                  std::optional<std::u16string> temporaryFolder) {
    if (knownFolder) {
        return knownFolder;
    }
    if (environmentFolder) {
        return environmentFolder;
    }
    return temporaryFolder;
}

std::u16string LogFilePath(std::u16string_view baseFolder) {
    return JoinPath(JoinPath(JoinPath(baseFolder, u"Orbelune"), u"Logs"), u"vcam-agent.log");
}

}  // namespace orbelune
