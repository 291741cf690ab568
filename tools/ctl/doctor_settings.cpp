// The rules about the settings as the agent takes them, and the camera CameraIndex names.
#include "common/path.h"
#include "common/text.h"
#include "log/log_lines.h"
#include "tools/ctl/doctor.h"
#include "tools/ctl/reports.h"

namespace orbelune {
namespace {

std::string SettingPath(Setting setting) {
    return "HKEY_CURRENT_USER\\" + ToUtf8(kSettingsKey) + "\\" + ToUtf8(RowOf(setting).name);
}

// Paths made absolute against the agent's current folder and handed to the producer.
void FindPathProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    for (const auto& [setting, path] : {std::pair{Setting::kProducerExe, &c.settings.producerExe},
                                        {Setting::kRepoRoot, &c.settings.repoRoot}}) {
        if (!path->empty() && !IsAbsolutePath(*path)) {
            const std::string name = ToUtf8(RowOf(setting).name);
            const bool quoted = path->size() > 1 && path->front() == u'"' && path->back() == u'"';
            findings.push_back(
                {"relative-path",
                 name + " is not a full path: the agent keeps double quotes in it, expands a "
                        "%variable% only in a REG_EXPAND_SZ value and from its environment, and "
                        "resolves it against its current folder, which depends on how it started",
                 {SettingPath(setting) + " = " + ToUtf8(*path)},
                 "orbelune_vcam_ctl set " + name + " " +
                     (quoted ? ToUtf8(*path) + " (the prompt drops the quotes)" : "FULL-PATH")});
        }
    }
    if (IsAbsolutePath(c.settings.repoRoot) && !c.facts.repoRootIsFolder) {
        findings.push_back({"repo-root-missing",
                            "RepoRoot is not a folder: the producer gets a root that is not there",
                            {"RepoRoot = " + ToUtf8(c.settings.repoRoot)},
                            "orbelune_vcam_ctl set RepoRoot FOLDER, or orbelune_vcam_ctl unset "
                            "RepoRoot for the agent's folder"});
    }
    // What the producer receives: the agent's command line as the producer's runtime splits it.
    const std::vector<std::u16string>& meant = c.facts.producerArguments;
    const std::vector<std::u16string>& received = c.facts.producerArgv;
    for (const auto& [setting, at] :
         {std::pair{Setting::kProvider, size_t{4}}, {Setting::kRepoRoot, size_t{8}}}) {
        if (meant.size() <= at || (received.size() == meant.size() && received[at] == meant[at])) {
            continue;
        }
        const std::string name = ToUtf8(RowOf(setting).name);
        const std::u16string trimmed = meant[at].substr(0, meant[at].find_last_not_of(u'\\') + 1);
        findings.push_back(
            {"argument-misquoted",
             name +
                 (meant[at].ends_with(u'\\') ? " ends in a backslash"
                                             : " holds a backslash before a double quote") +
                 ", which upsets its quoting: the producer receives " +
                 (at < received.size() ? ToUtf8(received[at]) : std::string("nothing")) +
                 " instead of " + ToUtf8(meant[at]),
             {"producer command line: " + ToUtf8(c.facts.producerCommandLine)},
             !trimmed.empty() && trimmed.back() == u':'
                 ? "move the repository into a folder and set " + name +
                       " to it: a drive's root cannot reach the producer intact"
             : trimmed.empty()
                 ? "orbelune_vcam_ctl set " + name + " VALUE, with no backslash at its end"
                 : "orbelune_vcam_ctl set " + name + " \"" + ToUtf8(trimmed) + "\""});
        break;
    }
}

// What to set instead: the first real camera that opens, as a command; or, with none, advice.
std::string RealCameraAction(const CameraListing& listing) {
    for (std::uint32_t i = 0; i < listing.devices.size(); ++i) {
        if (!IsVirtualCamera(listing.devices[i]) && !OpenFailed(listing.devices[i])) {
            return "orbelune_vcam_ctl set CameraIndex " + std::to_string(i) +
                   " (orbelune_vcam_ctl cameras lists them all)";
        }
    }
    return "connect a real camera, or allow it to be opened, then set CameraIndex to its index "
           "as orbelune_vcam_ctl cameras lists it";
}

constexpr std::string_view kRestart =
    "; the agent reads the formats only at its start and when CameraIndex changes, so then end "
    "orbelune_vcam_agent.exe and start it again";

// Whether the agent's last publication of formats in the log was the fallback: the fallback's
// line comes right before the last publication's, or the log tells of neither.
bool PublishedFallback(const std::vector<std::string>& tail) {
    std::string told;  // of each line that tells of a publication: f the fallback, p published
    for (const std::string& line : tail) {
        if (Says(line, kCapabilitiesFallbackLine) || Says(line, kPublishedPrefix)) {
            told += Says(line, kPublishedPrefix) ? 'p' : 'f';
        }
    }
    return told.empty() || told.ends_with("fp");
}

}  // namespace

void FindSettingProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const Facts& f = c.facts;
    FindPathProblems(c, findings);
    if (!c.settings.enabled) {
        findings.push_back({"disabled",
                            "the agent is disabled: Enabled is 0, so it starts no producer",
                            {SettingPath(Setting::kEnabled) + " = 0"},
                            "orbelune_vcam_ctl set Enabled 1"});
    }
    for (size_t i = 0; i < kSettingCount; ++i) {
        const RawSetting::Outcome outcome = f.raw[i].outcome;
        if (outcome == RawSetting::Outcome::kMissing || outcome == RawSetting::Outcome::kValue) {
            continue;
        }
        const auto setting = static_cast<Setting>(i);
        const SettingRow& row = RowOf(setting);
        findings.push_back(
            {"setting-ignored",
             "the setting " + ToUtf8(row.name) +
                 (outcome == RawSetting::Outcome::kOtherType
                      ? std::string(" is stored as another type than ") +
                            (IsNumberKind(row.kind) ? "REG_DWORD" : "REG_SZ")
                  : outcome == RawSetting::Outcome::kTooLong
                      ? " is longer than " + std::to_string(kMaxSettingLength) + " characters"
                      : " cannot be read") +
                 "; the agent uses its default, " +
                 ToUtf8(
                     SettingText(row.kind, ResolveSetting(f.raw, setting, AgentFolder(f).first))),
             {SettingPath(setting)},
             "orbelune_vcam_ctl set " + ToUtf8(row.name) +
                 " VALUE stores it as the agent reads it; orbelune_vcam_ctl unset " +
                 ToUtf8(row.name) + " removes it"});
    }
    if (c.settings.cameraIndex < 0) {
        findings.push_back(
            {"negative-camera-index",
             "CameraIndex is negative: the agent publishes only the 1280x720 fallback format, "
             "and the producer gets the negative index",
             {SettingPath(Setting::kCameraIndex) + " = " + std::to_string(c.settings.cameraIndex)},
             "orbelune_vcam_ctl set CameraIndex 0 (or the index of the camera to use)"});
    }
}

// The camera CameraIndex names: none, a virtual one, one the privacy settings keep closed; and
// the fallback published while it is there. With no camera at all no setting helps.
void FindCameraProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const std::optional<CameraListing>& listing = c.facts.cameras;
    const std::int32_t index = c.settings.cameraIndex;
    if (!listing || !listing->listed || listing->devices.empty() || index < 0) {
        return;
    }
    const auto device = static_cast<std::uint32_t>(index);
    const CameraDevice* camera =
        device < listing->devices.size() ? &listing->devices[device] : nullptr;
    const auto& block = c.facts.capabilitiesBlock;
    const std::string line = ConfiguredCamera(*listing, index).line;
    if (!camera || IsVirtualCamera(*camera)) {
        Finding& finding = findings.emplace_back(Finding{
            camera ? "camera-virtual" : "camera-index-past-end",
            "CameraIndex " + std::to_string(index) +
                (camera ? " names a virtual camera, not a real one: the formats published are "
                          "that camera's (it may be this product's own virtual camera)"
                        : " names no camera, so only the 1280x720 fallback format is published"),
            {line},
            RealCameraAction(*listing)});
        if (!camera) {  // the cameras there are
            const Node list = CamerasReport(*listing, index);
            for (const Node& listed : list.children.back().children) {
                finding.evidence.push_back("camera " + listed.line);
            }
        }
    } else if (camera->activation == 0x80070005u) {  // E_ACCESSDENIED
        findings.push_back({"camera-access-denied",
                            "camera access for desktop apps is off in the privacy settings, so the "
                            "agent publishes the 1280x720 fallback and the producer gets no frames",
                            {line},
                            "in Settings > Privacy & security > Camera, turn on \"Camera access\" "
                            "and \"Let desktop apps access your camera\"" +
                                std::string(kRestart)});
    } else if (block.status == vcam::SnapshotStatus::kAccepted && block.snapshot.count == 1 &&
               block.snapshot.formats[0] == vcam::CameraCapability{1280, 720, 30, 1} &&
               PublishedFallback(c.tail)) {
        Finding& finding = findings.emplace_back(Finding{
            "capabilities-fallback",
            "the virtual camera was given only the 1280x720 fallback format: the camera gave no "
            "formats when the agent published" +
                std::string(OpenFailed(*camera) ? "" : " (missing or busy then)"),
            {"capabilities block: count 1, [0] 1280x720@30/1", line},
            "close other programs that use the camera, or reconnect it" + std::string(kRestart)});
        CiteLog(c, finding, {LastLine(c.tail, kCapabilitiesFallbackLine)});
    }
}

}  // namespace orbelune
