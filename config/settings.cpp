#include "config/settings.h"

#include "common/path.h"
#include "common/text.h"

namespace orbelune {

EffectiveSetting ResolveSetting(const RawSettingValues& raw, Setting setting,
                                std::u16string_view moduleFolder) {
    const SettingRow& row = RowOf(setting);
    const RawSetting& value = raw[static_cast<size_t>(setting)];
    const bool read = value.outcome == RawSetting::Outcome::kValue;
    if (IsNumberKind(row.kind)) {
        return {read ? value.number : row.defaultNumber, {}, read};
    }
    if (read && (row.kind == SettingKind::kText || !value.text.empty())) {
        return {0, value.text, true};
    }
    if (row.kind == SettingKind::kText) {
        return {0, std::u16string(row.defaultText), false};
    }
    return {0,
            row.defaultText.empty() ? std::u16string(moduleFolder)
                                    : JoinPath(moduleFolder, row.defaultText),
            false};
}

AgentSettings SettingsFromValues(const RawSettingValues& raw, std::u16string_view moduleFolder) {
    const auto number = [&](Setting setting) {
        return ResolveSetting(raw, setting, moduleFolder).number;
    };
    const auto text = [&](Setting setting) {
        return ResolveSetting(raw, setting, moduleFolder).text;
    };
    AgentSettings settings;
    settings.cameraIndex = static_cast<std::int32_t>(number(Setting::kCameraIndex));
    settings.provider = text(Setting::kProvider);
    settings.enabled = number(Setting::kEnabled) != 0;
    settings.idleStopMs = number(Setting::kIdleStopMs);
    settings.producerExe = text(Setting::kProducerExe);
    settings.repoRoot = text(Setting::kRepoRoot);
    return settings;
}

std::optional<Setting> FindSetting(std::u16string_view name) {
    const std::u16string wanted = ToLowerUnits(name);
    for (size_t i = 0; i < kSettingCount; ++i) {
        if (ToLowerUnits(kSettingRows[i].name) == wanted) {
            return static_cast<Setting>(i);
        }
    }
    return std::nullopt;
}

}  // namespace orbelune
