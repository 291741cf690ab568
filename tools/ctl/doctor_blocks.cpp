// The rules about the virtual camera's side: its sections and their headers and ticks, the
// producer that demand should have started, and the formats the agent published.
#include <algorithm>

#include "common/text.h"
#include "tools/ctl/doctor_rules.h"

namespace orbelune {
namespace {

constexpr int kRestartLoopExits = 3;  // exits in the last minute that make a loop

std::string Hex32(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
    return text;
}

// A header that differs from this agent's: the block counts as missing to the agent.
void Header(const char* block, const std::u16string& section, std::uint32_t magic,
            std::uint32_t version, std::uint32_t expectedMagic, std::uint32_t expectedVersion,
            std::vector<Finding>& findings) {
    if (magic == expectedMagic && version == expectedVersion) {
        return;
    }
    const std::string carries =
        magic != expectedMagic
            ? "magic " + Hex32(magic) + " where this agent expects " + Hex32(expectedMagic)
            : "version " + std::to_string(version) + " where this agent expects version " +
                  std::to_string(expectedVersion);
    findings.push_back(
        {"header-mismatch",
         std::string("the ") + block + " carries " + carries +
             ": the virtual camera and the agent come from different releases",
         {Utf8(section) + ": magic " + Hex32(magic) + " version " + std::to_string(version)},
         "install a virtual camera and an agent of the same release; until then "
         "the agent treats the block as missing"});
}

std::string TickEvidence(const char* name, const TickReading& tick) {
    return std::string(name) + " " + std::to_string(tick.value) + ", " +
           std::to_string(tick.ageMs) + " ms old";
}

// Whether the agent's last publication of formats was the fallback, by the log when it has
// the publication: the last capabilities line before the last "published" one.
bool PublishedFallback(const DoctorFacts& facts) {
    constexpr std::string_view kFallback = "camera capability enumeration failed/empty";
    constexpr std::string_view kPublished = "published ";
    if (!facts.status.logBytes) {
        return true;
    }
    bool seenPublication = false;
    const std::vector<std::string> lines = LastLines(*facts.status.logBytes, kDoctorLogLines);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string_view message =
            std::string_view(*line).substr(std::min<size_t>(line->size(), 20));
        if (message.starts_with(kPublished) && message.ends_with("camera capability tuple(s)")) {
            if (seenPublication) {
                return false;
            }
            seenPublication = true;
        } else if (message.starts_with(kFallback)) {
            return seenPublication;
        }
    }
    return !seenPublication;
}

}  // namespace

void FindSectionProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    const struct {
        const wchar_t* name;
        const std::u16string& found;
        bool mapped;
        std::size_t size;
    } kSections[] = {
        {vcam::kControlSectionName, s.control.name, !s.control.bytes.empty(),
         vcam::kControlBlockSize},
        {vcam::kCapabilitiesSectionName, s.capabilities.name, s.capabilities.reading.has_value(),
         vcam::kCapabilitiesBlockSize},
        {vcam::kConsumersSectionName, s.consumers.name, s.consumers.reading.has_value(),
         vcam::kConsumersBlockSize},
    };
    std::vector<std::string> missing;
    for (const auto& section : kSections) {
        if (section.found.empty()) {
            missing.push_back("no section Global\\ or Local\\" +
                              Utf8(std::wstring_view(section.name)));
        } else if (!section.mapped) {
            findings.push_back(
                {"section-too-small",
                 "the virtual camera's section " + Utf8(section.found) +
                     " is smaller than this agent's block of " + std::to_string(section.size) +
                     " bytes: the two come from different releases",
                 {"it cannot be mapped at " + std::to_string(section.size) + " bytes"},
                 "install a virtual camera and an agent of the same release"});
        }
    }
    if (!missing.empty()) {
        findings.push_back({"sections-missing",
                            missing.size() == std::size(kSections)
                                ? "the virtual camera's sections are missing: the virtual camera "
                                  "is not running"
                                : "some of the virtual camera's sections are missing",
                            missing,
                            "open the Orbelune camera in an application so that the virtual "
                            "camera starts; if its sections still do not appear, reinstall it"});
    }
}

void FindHeaderProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (c.control) {
        Header("control block", s.control.name, c.control->magic, c.control->version,
               vcam::kControlMagic, vcam::kControlVersion, findings);
    }
    if (s.consumers.reading) {
        Header("consumers block", s.consumers.name, s.consumers.reading->magic,
               s.consumers.reading->version, vcam::kConsumersMagic, vcam::kConsumersVersion,
               findings);
    }
}

void FindTickProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    if (!c.control || !c.control->valid) {
        return;
    }
    const ControlStatus status = JudgeControlBlock(*c.control, c.facts.status.now);
    std::vector<std::string> evidence;
    for (const auto& [name, tick] : {std::pair{"demandTick", &status.demandTick},
                                     {"consumerStartTick", &status.consumerStartTick},
                                     {"consumerHeartbeatTick", &status.consumerHeartbeatTick}}) {
        if (tick->value != 0 && tick->ageMs < 0) {
            evidence.push_back(std::string(name) + " " + std::to_string(tick->value) + " is " +
                               std::to_string(-tick->ageMs) +
                               " ms ahead of this machine's GetTickCount64 (" +
                               std::to_string(c.facts.status.now) + ")");
        }
    }
    if (!evidence.empty()) {
        findings.push_back({"tick-in-future",
                            "the virtual camera stamps ticks in the future: it writes another "
                            "clock than GetTickCount64",
                            evidence,
                            "the virtual camera must stamp GetTickCount64 milliseconds; until "
                            "then the agent sees no demand and no consumer"});
    }
}

// Frames are wanted and the agent may start a producer, but none runs: why, if the facts say.
void FindProducerProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const StatusFacts& s = c.facts.status;
    if (!c.control || !c.settings.enabled || !s.producerIds.empty()) {
        return;
    }
    const ControlStatus status = JudgeControlBlock(*c.control, s.now);
    if (!status.demand) {
        return;
    }
    const TickReading& latest = status.demandTick.value >= status.consumerStartTick.value
                                    ? status.demandTick
                                    : status.consumerStartTick;
    Finding finding{
        "producer-not-running",
        "frames are wanted but no producer runs",
        {TickEvidence(&latest == &status.demandTick ? "demandTick" : "consumerStartTick", latest),
         "ProducerExe = " + Utf8(c.settings.producerExe)},
        "look at the last lines of the log (orbelune_vcam_ctl status)"};
    const std::optional<std::string> failed = LastRecentLine(c, "failed to start producer: ");
    if (!c.facts.producerExists) {
        finding.kind = "producer-missing";
        finding.problem += ": ProducerExe is not there";
        finding.action =
            "install the producer there, or point ProducerExe at it: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (c.facts.producerHead != "MZ") {
        finding.kind = "producer-not-a-program";
        finding.problem += ": ProducerExe is not a program";
        finding.action =
            "point ProducerExe at the producer's program: "
            "orbelune_vcam_ctl set ProducerExe PATH";
    } else if (failed) {
        finding.kind = "producer-start-failed";
        finding.problem += ": the agent cannot start it";
        finding.action = "mend what the error in the log line names";
    }
    if (failed) {
        finding.evidence.push_back("log: " + *failed);
    }
    findings.push_back(std::move(finding));
}

void FindRestartLoop(const DoctorContext& c, std::vector<Finding>& findings) {
    const auto exits =
        std::count_if(c.recentLines.begin(), c.recentLines.end(), [](const std::string& line) {
            return std::string_view(line).substr(std::min<size_t>(line.size(), 20)) ==
                   "producer exited unexpectedly";
        });
    if (exits < kRestartLoopExits) {
        return;
    }
    Finding finding{"producer-restarting",
                    "the producer restarts in a loop: it exited " + std::to_string(exits) +
                        " times in the last minute",
                    {"log: " + *LastRecentLine(c, "producer exited unexpectedly")},
                    "the producer ends by itself soon after each start: start it by hand with "
                    "the command line the agent uses to see why"};
    if (const auto started = LastRecentLine(c, "producer started (")) {
        finding.evidence.push_back("log: " + *started);
    }
    findings.push_back(std::move(finding));
}

// The formats published are the fallback while a camera is there to give better ones. (With
// no camera at all the fallback is all there is, and no setting changes that.)
void FindCapabilitiesProblems(const DoctorContext& c, std::vector<Finding>& findings) {
    const auto& block = c.facts.status.capabilities.reading;
    const vcam::CameraCapability fallback = {1280, 720, 30, 1};
    if (!block || !block->valid || block->entries != std::vector{fallback} ||
        c.settings.cameraIndex < 0 || !c.facts.cameraCount || *c.facts.cameraCount == 0 ||
        !PublishedFallback(c.facts)) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(c.settings.cameraIndex);
    const std::string cameras =
        std::to_string(*c.facts.cameraCount) + (*c.facts.cameraCount == 1 ? " camera" : " cameras");
    Finding finding{
        "capabilities-fallback",
        "the virtual camera was given only the 1280x720 fallback format",
        {"capabilities block: count 1, [0] 1280x720@30/1",
         "CameraIndex = " + std::to_string(index) + "; Media Foundation lists " + cameras},
        {}};
    if (index >= *c.facts.cameraCount) {
        finding.problem += ": CameraIndex is out of range";
        finding.action = "orbelune_vcam_ctl set CameraIndex 0 (the first of the " + cameras + ")";
    } else {
        finding.problem +=
            ": the camera gave no formats when the agent published (missing or busy)";
        finding.action =
            "close other programs that use the camera, then restart the agent; it "
            "publishes the formats only at its start and when CameraIndex changes";
    }
    findings.push_back(std::move(finding));
}

}  // namespace orbelune
