#include "config/settings.h"

#include "common/path.h"

namespace orbelune {

AgentSettings SettingsFromValues(const RawSettingValues& raw, std::u16string_view moduleFolder) {
    AgentSettings settings;
    settings.cameraIndex = static_cast<std::int32_t>(raw.cameraIndex.value_or(0));
    settings.provider = raw.provider.value_or(std::u16string(kDefaultProvider));
    settings.enabled = raw.enabled.value_or(1) != 0;
    settings.idleStopMs = raw.idleStopMs.value_or(kDefaultIdleStopMs);
    // An empty ProducerExe keeps the default path; an empty RepoRoot means the module folder.
    if (raw.producerExe && !raw.producerExe->empty()) {
        settings.producerExe = *raw.producerExe;
    } else {
        settings.producerExe = JoinPath(moduleFolder, kProducerExeName);
    }
    if (raw.repoRoot && !raw.repoRoot->empty()) {
        settings.repoRoot = *raw.repoRoot;
    } else {
        settings.repoRoot = std::u16string(moduleFolder);
    }
    return settings;
}

}  // namespace orbelune
