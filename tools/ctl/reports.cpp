#include "tools/ctl/reports.h"

#include "common/path.h"
#include "common/text.h"

namespace orbelune {
namespace {

constexpr char kFallback[] = "the agent publishes the 1280x720@30 fallback";
constexpr size_t kStatusLogLines = 10;

// "cannot be opened: REASON (0x...)", for a camera that was tried and did not open.
std::string OpenFailure(const CameraDevice& camera) {
    const std::u16string_view reason = ActivationFailureReason(*camera.activation);
    return "cannot be opened: " + (reason.empty() ? std::string("error") : ToUtf8(reason)) + " (" +
           HexText(*camera.activation) + ")";
}

CameraSelection SelectIn(const CameraListing& listing, std::int32_t cameraIndex) {
    const auto count = static_cast<std::uint32_t>(listing.devices.size());
    return SelectCamera(listing.listed ? std::optional(count) : std::nullopt, cameraIndex);
}

std::string Named(const CameraDevice& camera) {
    return ToUtf8(u"\"" + camera.friendlyName + u"\" (" + camera.symbolicLink + u")");
}

Node CameraNode(std::string key, std::string line, const CameraDevice& camera, std::uint32_t index,
                bool selected) {
    std::vector<Node> nodes = {Value("index", index),
                               Value("friendlyName", camera.friendlyName),
                               Value("symbolicLink", camera.symbolicLink),
                               Value("virtual", IsVirtualCamera(camera)),
                               Value("selected", selected),
                               Null("openError")};
    if (OpenFailed(camera)) {
        nodes.back() = Value("openError", Latin1ToU16(HexText(*camera.activation)));
        nodes.push_back(
            Value("openFailure", std::u16string(ActivationFailureReason(*camera.activation))));
    }
    return Object(std::move(key), std::move(line), std::move(nodes));
}

Node SettingsNode(const Facts& facts) {
    const auto [folder, source] = AgentFolder(facts);
    std::vector<Node> nodes;
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingRow& row = kSettingRows[i];
        const EffectiveSetting effective =
            ResolveSetting(facts.raw, static_cast<Setting>(i), folder);
        std::string line = ToUtf8(row.name);
        line.resize(13, ' ');
        const std::u16string origin = effective.fromRegistry ? u"registry" : u"default";
        line += ToUtf8(SettingText(row.kind, effective) + u"  (" + origin + u")");
        nodes.push_back(
            Object(ToUtf8(row.name), line,
                   {row.kind == SettingKind::kSignedNumber
                        ? Value("value", static_cast<std::int32_t>(effective.number))
                    : row.kind == SettingKind::kSwitch ? Value("value", effective.number != 0)
                    : IsNumberKind(row.kind)           ? Value("value", effective.number)
                                                       : Value("value", effective.text),
                    Value("source", origin)}));
    }
    nodes.push_back(Value("defaultsFolder", folder));
    return Object("settings",
                  "settings (HKEY_CURRENT_USER\\" + ToUtf8(kSettingsKey) + "; defaults in " +
                      ToUtf8(folder) + ", " + source + "):",
                  std::move(nodes));
}

void AddProcessNodes(const Facts& facts, std::vector<Node>& nodes) {
    const ProcessFacts* agent = SessionAgent(facts);
    const std::string line =
        std::string("agent: ") + (facts.agentMutex ? "" : "not ") + "running in this session" +
        (agent ? ", process id " + std::to_string(agent->id) + ", " + ToUtf8(agent->path) : "");
    const std::u16string image(FileNameOfPath(SettingsOf(facts).producerExe));
    std::vector<Node> ids;
    std::string idText;
    // Those by the producer's name, and the agent's own child whatever its name (a script).
    for (const ProcessFacts& p : facts.processes) {
        if (IsProducer(facts, p) || IsAgentChild(facts, p)) {
            idText += (ids.empty() ? " " : ", ") + std::to_string(p.id);
            ids.push_back(Value("", p.id));
        }
    }
    const std::string producer =
        "producer (" + ToUtf8(image) + "): " +
        (ids.empty() ? "not running"
                     : (ids.size() > 1 ? "running, process ids" : "running, process id") + idText);
    nodes.push_back(Value("agentRunning", facts.agentMutex, line));
    nodes.push_back(
        agent ? Object("agent", "", {Value("processId", agent->id), Value("path", agent->path)})
              : Null("agent"));
    nodes.push_back(Object("producer", producer,
                           {Value("image", image), Value("running", !ids.empty()),
                            Array("processIds", "", std::move(ids))}));
}

Node LogonNode(const char* key, const char* title, const std::optional<LogonEntry>& entry) {
    return Value(
        key, entry ? std::optional(entry->stored) : std::nullopt,
        std::string(title) + (entry ? ": installed, " + ToUtf8(entry->stored) : ": not installed"));
}

// A block whose section the agent cannot take, with Windows' reason for each name.
Node Unopened(const char* key, const char* title, const Sections& sections) {
    std::string line = title;
    std::vector<Node> names;
    for (const SectionFacts& s : sections) {
        line += (names.empty() ? ": " : "; ") + ToUtf8(s.name) +
                (s.opened ? " opens but cannot be mapped at the block's size, " : " ") +
                (s.error ? ToUtf8(s.error->text) : "");
        names.push_back(
            Object("", "",
                   {Value("section", s.name), Value("opened", s.opened),
                    Value("error", s.error ? std::optional(s.error->code) : std::nullopt)}));
    }
    return Object(key, line + "; the agent counts it as missing",
                  {Array("sections", "", std::move(names))});
}

Node LogNode(const Facts& facts) {
    std::string line = "log " + ToUtf8(facts.logPath);
    if (!facts.logBytes) {
        const std::uint32_t error = facts.logOpenError ? facts.logOpenError->code : 0;
        return Object("log",
                      line + ((error == 2 || error == 3) && facts.logBlockedBy.empty()
                                  ? ": not there yet (the agent creates it with its first line)"
                                  : ": cannot be read"),
                      {Value("path", facts.logPath), Null("lines")});
    }
    std::vector<Node> lines;
    for (const std::string& text : LastLines(*facts.logBytes, kStatusLogLines)) {
        lines.push_back(Value("", Latin1ToU16(text), Latin1ToUtf8(text)));
    }
    line += ", last " + std::to_string(lines.size()) + (lines.size() == 1 ? " line:" : " lines:");
    return Object("log", line,
                  {Value("path", facts.logPath), Array("lines", "", std::move(lines))});
}

}  // namespace

std::u16string SettingText(SettingKind kind, const EffectiveSetting& effective) {
    return kind == SettingKind::kSignedNumber
               ? DecimalText(static_cast<long long>(static_cast<std::int32_t>(effective.number)))
           : kind == SettingKind::kSwitch ? std::u16string(effective.number != 0 ? u"1" : u"0")
           : kind == SettingKind::kUnsignedNumber
               ? DecimalText(static_cast<unsigned long long>(effective.number))
               : effective.text;
}

Node CamerasReport(const CameraListing& listing, std::int32_t cameraIndex) {
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    std::vector<Node> cameras;
    for (std::uint32_t i = 0; i < listing.devices.size(); ++i) {
        const CameraDevice& camera = listing.devices[i];
        const bool selected =
            selection.kind == CameraSelection::Kind::kDevice && selection.device == i;
        cameras.push_back(CameraNode("",
                                     std::to_string(i) + "  " + Named(camera) +
                                         (IsVirtualCamera(camera) ? "  virtual camera" : "") +
                                         (OpenFailed(camera) ? "  " + OpenFailure(camera) : "") +
                                         (selected ? "  <- CameraIndex" : ""),
                                     camera, i, selected));
    }
    const std::string line =
        !listing.listed ? "the cameras cannot be listed: MFEnumDeviceSources failed with " +
                              HexText(listing.error) + "; " + kFallback
        : cameras.empty()
            ? std::string("no camera: Media Foundation lists no video-capture device; ") + kFallback
            : "";
    return Object("", line,
                  {Value("cameraIndex", cameraIndex),
                   listing.listed ? Null("listError")
                                  : Value("listError", Latin1ToU16(HexText(listing.error))),
                   Array("cameras", "", std::move(cameras))});
}

Node ConfiguredCamera(const CameraListing& listing, std::int32_t cameraIndex) {
    const CameraSelection selection = SelectIn(listing, cameraIndex);
    const size_t count = listing.devices.size();
    std::string line = "camera: CameraIndex " + std::to_string(cameraIndex);
    Node named = Null("named");
    switch (selection.kind) {
        case CameraSelection::Kind::kNoList:
            line +=
                " cannot be looked up: MFEnumDeviceSources failed with " + HexText(listing.error);
            break;
        case CameraSelection::Kind::kNegative:
        case CameraSelection::Kind::kPastTheEnd:
            line += " names no camera: " +
                    (count == 0
                         ? std::string("Media Foundation lists none")
                         : std::to_string(count) + " listed, 0 to " + std::to_string(count - 1)) +
                    "; " + kFallback;
            break;
        case CameraSelection::Kind::kDevice: {
            const CameraDevice& camera = listing.devices[selection.device];
            line += " names " + Named(camera) +
                    (IsVirtualCamera(camera) ? ", a virtual camera, not a real one" : "") +
                    (OpenFailed(camera) ? "; it " + OpenFailure(camera) + ", so " + kFallback : "");
            named = CameraNode("named", "", camera, selection.device, true);
        }
    }
    return Object(
        "camera", line,
        {listing.listed ? Value("listedCameras", count) : Null("listedCameras"), std::move(named)});
}

Node StatusReport(const Facts& facts) {
    std::vector<Node> nodes = {SettingsNode(facts)};
    if (facts.cameras) {
        nodes.push_back(ConfiguredCamera(*facts.cameras, SettingsOf(facts).cameraIndex));
    }
    AddProcessNodes(facts, nodes);
    nodes.push_back(LogonNode("logonEntry", "logon entry", facts.userEntry));
    nodes.push_back(
        LogonNode("machineLogonEntry", "logon entry for all users", facts.machineEntry));
    const SectionFacts* control = AgentSection(facts.control);
    nodes.push_back(control ? ControlNode(control->name, control->samples.front().control,
                                          control->samples.front().now)
                            : Unopened("controlBlock", "control block", facts.control));
    nodes.push_back(AgentSection(facts.capabilities)
                        ? CapabilitiesNode(facts.capabilitiesBlock)
                        : Unopened("capabilitiesBlock", "capabilities block", facts.capabilities));
    const SectionFacts* consumers = AgentSection(facts.consumers);
    nodes.push_back(consumers ? ConsumersNode(facts.consumersBlock, facts.consumerStartsLocal,
                                              consumers->samples.front().now)
                              : Unopened("consumersBlock", "consumers block", facts.consumers));
    nodes.push_back(LogNode(facts));
    return Object("", "", std::move(nodes));
}

Node DoctorReport(const std::vector<Finding>& findings) {
    std::vector<Node> nodes;
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        std::vector<Node> evidence;
        for (const std::string& e : f.evidence) {
            evidence.push_back(Value("", Utf8ToU16(e), "evidence: " + e));
        }
        nodes.push_back(
            Object("", std::to_string(i + 1) + ". " + f.problem,
                   {Value("kind", Latin1ToU16(f.kind)), Value("problem", Utf8ToU16(f.problem)),
                    Array("evidence", "", std::move(evidence)),
                    Value("action", Utf8ToU16(f.action), "to do: " + f.action)}));
    }
    return Object("",
                  findings.empty()
                      ? "nothing wrong found: the agent runs, the virtual camera's "
                        "blocks are in order and the settings are read as stored (a running "
                        "producer keeps those it was started with)"
                      : "",
                  {Array("findings", "", std::move(nodes))});
}

}  // namespace orbelune
