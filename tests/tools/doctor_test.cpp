#include "tools/ctl/doctor.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "log/log_lines.h"
#include "tests/support/bytes.h"

namespace orbelune {
namespace {

constexpr std::uint64_t kNow = 100000;
const std::u16string kAgent = u"C:\\Agent\\orbelune_vcam_agent.exe";
using Facts = DoctorFacts&;  // what each case below changes

// An agent at work: demand with a consumer, a producer running, two formats published.
DoctorFacts Healthy() {
    DoctorFacts f;
    StatusFacts& s = f.status;
    s.moduleFolder = u"C:\\Agent";
    s.agentRunning = true;
    s.producerImage = u"orbelune_windows_retouch_vcam_producer.exe";
    s.producerIds = {412};
    // The agent, the producer it started, and that producer's own child.
    f.agent = {300, 4, 1, 5000, u"orbelune_vcam_agent.exe"};
    f.processes = {{4, 0, 0, 0, u"explorer.exe"},
                   *f.agent,
                   {412, 300, 1, 6000, u"orbelune_windows_retouch_vcam_producer.exe"},
                   {413, 412, 1, 6001, u"orbelune_windows_retouch_vcam_producer.exe"}};
    f.session = 1;
    f.progress = {true, true, u"Local\\OrbeluneVcamConsumers.v1", kNow - 300, 0};
    s.logonEntry = u"\"" + kAgent + u"\" /ignored";
    s.now = kNow;
    s.control = {u"Local\\OrbeluneVcamControl.v2", std::vector<std::byte>(80)};
    std::memcpy(s.control.bytes.data(), "CVBO\2\0\0\0", 8);  // stamped as the virtual camera does
    StoreU64(s.control.bytes, 16, kNow - 100);               // demand, and a consumer's heartbeat
    StoreU64(s.control.bytes, 48, kNow - 100);
    f.controlLocal = s.control;
    const vcam::CameraCapability formats[] = {{1280, 720, 30, 1}, {640, 480, 30, 1}};
    s.capabilities = {u"Local\\OrbeluneVcamCapabilities.v1", PublishedCapabilities(formats, 0)};
    s.consumers = {u"Local\\OrbeluneVcamConsumers.v1", PublishedConsumers({}, 0)};
    s.logPath = f.expectedLogPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    s.logBytes = "2026-12-06 09:00:00 agent starting\r\n";
    f.agentPaths = {kAgent};
    f.logonEntryProgramExists = true;
    f.producerExists = true;
    f.producerHead = "MZ";
    f.producerFullPath = u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe";
    f.repoRootFullPath = u"C:\\Agent";
    f.repoRootIsFolder = true;
    f.status.cameras = CameraListing{true, 0, {{u"Integrated Camera", u"\\\\?\\usb#0", 0u}}};
    f.localNow = ParseLogLine("2026-12-06 10:00:30 ")->time;
    return f;
}

void SetRaw(DoctorFacts& f, Setting setting, RawSetting::Outcome outcome, std::uint32_t number,
            std::u16string text = {}) {
    f.status.raw[static_cast<size_t>(setting)] = {outcome, number, std::move(text)};
}

// The producer the agent started is gone (its child with it).
void NoProducer(Facts f) {
    f.processes.resize(2);
}

// No demand and no consumer.
void NoDemand(Facts f) {
    StoreU64(f.status.control.bytes, 16, 0), StoreU64(f.status.control.bytes, 48, 0);
    f.controlLocal = f.status.control;
}

void Log(DoctorFacts& f, const std::string& lines) {
    *f.status.logBytes += lines;
}

// A control section under Global\ beside the Local\ one; `stale` (version 1) is the one of
// another release.
void GlobalControl(DoctorFacts& f, SectionFacts& stale) {
    f.controlGlobal = f.controlLocal, f.controlGlobal.name = u"Global\\x";
    StoreU32(stale.bytes, 4, 1);
}

TEST(DoctorTest, OneFindingPerFault) {
    using V = RawSetting::Outcome;
    using enum Setting;
    const std::string fallbackLine =
        "2026-12-06 10:00:01 camera capability enumeration failed/empty; using 1280x720@30 "
        "fallback\r\n";
    const std::string publishedLine =
        "2026-12-06 10:00:01 published 1 native camera capability tuple(s)\r\n";
    const vcam::CameraCapability kFallback[] = {{1280, 720, 30, 1}};
    const auto fallback = [&](Facts f) {
        f.status.capabilities.reading = PublishedCapabilities(kFallback, 0);
    };
    const std::string exit = "2026-12-06 10:00:10 producer exited unexpectedly\r\n";
    const auto failed = [](const std::string& time) {  // a start that failed at `time` today
        return "2026-12-06 " + time + " failed to start producer: 5 (Access is denied.)\r\n";
    };
    const std::string started =
        "2026-12-06 10:00:21 producer started (camera-index=0 provider=directml)\r\n";
    const std::string oldExit = "2026-12-06 09:59:20 producer exited unexpectedly\r\n";
    const std::vector<std::pair<std::function<void(Facts)>, const char*>> kCases = {
        {[](Facts) {}, ""},
        {[](Facts f) { NoProducer(f), NoDemand(f); }, ""},
        {[](Facts f) { f.progress = {}; }, ""},
        {[](Facts f) { NoProducer(f), f.progress.section = u"Global\\x"; },
         "agent-on-other-sections"},
        // A producer the agent did not start, under a reused id (a child cannot be older than
        // its parent); another session's belongs to that session's agent.
        {[](Facts f) { f.processes[2].created = 4999; },
         "producer-not-running, producer-not-from-agent"},
        {[](Facts f) { f.processes.resize(3), f.processes[2].session = 2; },
         "producer-not-running"},
        {[](Facts f) { SetRaw(f, kProducerExe, V::kValue, 0, f.producerFullPath + u" . "); }, ""},
        {[](Facts f) { NoDemand(f), f.producerExists = false; }, "producer-missing"},
        {[&](Facts f) { NoDemand(f), Log(f, failed("10:00:29")); }, "producer-start-failed"},
        {[&](Facts f) { NoDemand(f), Log(f, failed("10:00:20") + started); }, ""},
        {[](Facts f) { SetRaw(f, kProducerExe, V::kValue, 0, u"p.exe"); }, "relative-path"},
        {[](Facts f) { f.repoRootIsFolder = false; }, "repo-root-missing"},
        {[](Facts f) { f.repoRootFullPath = u"C:\\Agent\\"; }, "argument-misquoted"},
        {[](Facts f) { SetRaw(f, kProvider, V::kValue, 0, u"dml\\\\"); }, "argument-misquoted"},
        {[](Facts f) { StoreU64(f.controlLocal.bytes, 16, 0); }, "heartbeat-without-demand"},
        // A stale section of another release beside a good one, either way round.
        {[](Facts f) { NoProducer(f), GlobalControl(f, f.controlGlobal); },
         "stale-control-section, producer-not-running"},
        {[](Facts f) { GlobalControl(f, f.controlLocal); }, ""},
        {[](Facts f) { NoProducer(f), GlobalControl(f, f.controlLocal); },
         "stale-control-section, agent-on-other-sections"},
        {[](Facts f) { f.status.agentRunning = false, f.agentPaths.clear(); }, "agent-not-running"},
        {[](Facts f) { f.status.logonEntry.reset(); }, "no-logon-entry"},
        {[](Facts f) { f.logonEntryProgramExists = false; }, "logon-entry-missing-program"},
        {[](Facts f) { f.status.logonEntry = u"D:\\Old\\orbelune_vcam_agent.exe"; },
         "logon-entry-other-copy"},
        {[](Facts f) { f.status.logonEntry = u"C:\\AGENT\\ORBELUNE_VCAM_AGENT.EXE"; }, ""},
        {[](Facts f) { f.controlLocal = {}, f.status.capabilities = {}, f.status.consumers = {}; },
         "sections-missing"},
        {[](Facts f) { f.status.consumers.reading.reset(); }, "section-too-small"},
        {[](Facts f) { NoProducer(f), StoreU32(f.controlLocal.bytes, 4, 1); }, "header-mismatch"},
        {[](Facts f) { f.status.consumers.reading->magic = 0x4F42434E; }, "header-mismatch"},
        {[](Facts f) { NoProducer(f), f.producerExists = false; }, "producer-missing"},
        {[](Facts f) { NoProducer(f), f.producerHead = "no"; }, "producer-not-a-program"},
        {[&](Facts f) { NoProducer(f), Log(f, failed("10:00:29")); }, "producer-start-failed"},
        {[&](Facts f) { NoProducer(f), Log(f, failed("09:59:29")); }, "producer-not-running"},
        {[&](Facts f) { Log(f, exit + exit + exit); }, "producer-restarting"},
        {[&](Facts f) { Log(f, oldExit + exit + exit); }, ""},
        {[](Facts f) { SetRaw(f, kIdleStopMs, V::kOtherType, 0); }, "setting-ignored"},
        {[](Facts f) { SetRaw(f, kRepoRoot, V::kTooLong, 0); }, "setting-ignored"},
        {[](Facts f) { StoreU64(f.controlLocal.bytes, 48, kNow + 1); }, "tick-in-future"},
        {[](Facts f) { StoreU64(f.controlLocal.bytes, 16, ~0ull); }, "tick-in-future"},
        {[](Facts f) { SetRaw(f, kCameraIndex, V::kValue, 0xFFFFFFFF); }, "negative-camera-index"},
        {[&](Facts f) { fallback(f), Log(f, fallbackLine + publishedLine); },
         "capabilities-fallback"},
        {[&](Facts f) { fallback(f), f.status.logBytes.reset(); }, "capabilities-fallback"},
        {[&](Facts f) {
             fallback(f), Log(f, fallbackLine + publishedLine), f.status.cameras->devices.clear();
         },
         ""},
        {[&](Facts f) { fallback(f), f.status.cameras.reset(); }, ""},
        // The camera CameraIndex names: none, a virtual one, one the privacy settings keep
        // closed (whatever was published), one in use now after its formats were published.
        {[&](Facts f) { fallback(f), SetRaw(f, kCameraIndex, V::kValue, 1); },
         "camera-index-past-end"},
        {[](Facts f) { f.status.cameras->devices[0].symbolicLink = u"\\\\?\\SWD#VCAMDEVAPI#1"; },
         "camera-virtual"},
        {[](Facts f) { f.status.cameras->devices[0].activation = 0x80070005; },
         "camera-access-denied"},
        {[](Facts f) { f.status.cameras->devices[0].activation = 0xC00D3704; }, ""},
        // A camera whose one native format is 1280x720 at 30/1: published without a fallback.
        {[&](Facts f) { fallback(f), Log(f, publishedLine); }, ""},
        {[](Facts f) { f.expectedLogPath.clear(); }, "log-fallback"},
        {[](Facts f) { f.logOpenError = 5; }, "log-not-writable"},
        {[](Facts f) { f.logOpenError = 2; }, "log-not-writable"},
        {[](Facts f) { f.status.agentRunning = false, f.agentPaths.clear(), f.logOpenError = 2; },
         "agent-not-running"},
    };
    for (size_t i = 0; i < kCases.size(); ++i) {
        DoctorFacts facts = Healthy();
        kCases[i].first(facts);
        std::string kinds;
        for (const Finding& finding : Diagnose(facts)) {
            kinds += (kinds.empty() ? "" : ", ") + finding.kind;
        }
        EXPECT_EQ(kinds, kCases[i].second) << "row " << i;
    }
}

TEST(DoctorTest, TextAndJson) {
    DoctorFacts facts = Healthy();
    NoProducer(facts);
    facts.producerHead = "Te";
    Log(facts, "2026-12-06 10:00:29 failed to start producer: 193 (Bad EXE format for %1.)\r\n");
    const std::vector<Finding> findings = Diagnose(facts);
    EXPECT_EQ(DoctorText(findings),
              "1. frames are wanted but no producer runs: ProducerExe is not a program\n"
              "   evidence: demandTick 99900, 100 ms old\n"
              "   evidence: ProducerExe = C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe\n"
              "   evidence: log: 2026-12-06 10:00:29 failed to start producer: 193 (Bad EXE "
              "format for %1.)\n"
              "   to do: point ProducerExe at the producer's program: orbelune_vcam_ctl set "
              "ProducerExe PATH\n");
    EXPECT_EQ(DoctorJson(findings).find(
                  R"({"findings":[{"kind":"producer-not-a-program","problem":"frames are wanted)"),
              0u);
    facts = Healthy();
    auto& cameras = facts.status.cameras->devices;
    cameras.insert(cameras.begin(), {u"Cam", u"\\\\?\\SWD#VCAMDEVAPI#1", 0u});
    EXPECT_EQ(DoctorText(Diagnose(facts)),
              "1. CameraIndex 0 names a virtual camera, not a real one: the formats published are "
              "that camera's (it may be this product's own virtual camera)\n"
              "   evidence: camera: CameraIndex 0 names \"Cam\" (\\\\?\\SWD#VCAMDEVAPI#1), a "
              "virtual camera, not a real one\n"
              "   to do: orbelune_vcam_ctl set CameraIndex 1 (orbelune_vcam_ctl cameras lists "
              "them all)\n");
    EXPECT_EQ(DoctorJson({}), "{\"findings\":[]}\n");

    EXPECT_EQ(LogonEntryProgram(u"  \"C:\\A b\\x.exe\" /q"), u"C:\\A b\\x.exe");
    EXPECT_EQ(LogonEntryProgram(u"C:\\Ab\\x.exe /q"), u"C:\\Ab\\x.exe");
    EXPECT_EQ(LocalSeconds(ParseLogLine("1970-01-01 00:00:00 ")->time), 0);
    EXPECT_EQ(LocalSeconds(ParseLogLine("2000-03-01 00:00:01 ")->time), 951868801);  // leap day
}

}  // namespace
}  // namespace orbelune
