#include "log/log.h"

#include "common/path.h"

namespace orbelune {

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
