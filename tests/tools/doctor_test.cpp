#include "tools/ctl/doctor.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "agent/producer.h"
#include "log/log_lines.h"
#include "tools/ctl/reports.h"

namespace orbelune {
namespace {

constexpr std::uint64_t kNow = 100000;
const std::u16string kProducer = u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe";

// The control block's ticks as the agent reads them, looked at at `now`.
Sample Ticks(std::uint64_t demand, std::uint64_t heartbeat, std::uint64_t now = kNow,
             std::uint32_t version = 2) {
    return {{0x4F425643, version, version == 2, 0, demand, 0, heartbeat}, 0, now};
}
SectionFacts Section(std::u16string name, std::uint32_t magic, std::uint32_t version,
                     std::vector<Sample> samples) {
    return {std::move(name), true, std::nullopt, magic, version, std::move(samples)};
}
SectionFacts Absent(std::u16string name, std::uint32_t error = 2, bool opened = false) {
    return {std::move(name), opened, SystemError{error, u"(error)"}, 0, 0, {}};
}
SectionFacts Control(std::u16string name, std::uint32_t version, std::uint64_t demand) {
    return Section(std::move(name), 0x4F425643, version, {Ticks(demand, demand, kNow, version)});
}
// The block's section under the Global\ name instead of the Local\ one.
void ToGlobal(Sections& sections) {
    sections[0] = sections[1];
    sections[0].name.replace(0, 5, u"Global");
    sections[1] = Absent(sections[1].name);
}

// An agent at work under another file name, known by its version resource: demand with a
// consumer, the producer it started (and that one's child), two formats published, the
// consumers block stamped anew while watched.
Facts Healthy() {
    Facts f;
    f.session = 1;
    f.agentMutex = true;
    f.toolFolder = u"D:\\Tool";
    const std::u16string image = u"orbelune_windows_retouch_vcam_producer.exe";
    f.processes = {{4, 0, 1, 0, u"explorer.exe", u"C:\\Windows\\explorer.exe", false},
                   {300, 4, 1, 5000, u"agent.exe", u"C:\\Agent\\agent.exe", true},
                   {412, 300, 1, 6000, image, kProducer, false},
                   {413, 412, 1, 6001, image, kProducer, false}};
    f.userEntry = {u"%A%\\agent.exe", u"C:\\Agent\\agent.exe", {}, u"C:\\Agent\\AGENT.EXE", true};
    f.producerArguments = ProducerArguments(kProducer, u"directml", 0, u"C:\\Agent");
    f.producerArgv = f.producerArguments;
    f.producerTried = f.repoRootIsFolder = true;
    f.control = {Absent(u"Global\\OrbeluneVcamControl.v2"),
                 Control(u"Local\\OrbeluneVcamControl.v2", 2, kNow - 100)};
    f.capabilities = {Absent(u"Global\\OrbeluneVcamCapabilities.v1"),
                      Section(u"Local\\OrbeluneVcamCapabilities.v1", 0x4F425650, 1, {})};
    f.capabilitiesBlock = {f.capabilities[1].name,
                           0x4F425650,
                           1,
                           vcam::SnapshotStatus::kAccepted,
                           {1, 0, 2, {{1280, 720, 30, 1}, {640, 480, 30, 1}}}};
    f.consumers = {Absent(u"Global\\OrbeluneVcamConsumers.v1"),
                   Section(u"Local\\OrbeluneVcamConsumers.v1", 0x4F42434F, 1,
                           {{{}, kNow - 300, kNow}, {{}, kNow + 700, kNow + 800}})};
    f.logPath = f.expectedLogPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    f.logBytes = "2026-12-06 09:00:00 agent starting\r\n";
    f.localNow = ParseLogLine("2026-12-06 10:00:30 ")->time;
    f.cameras = CameraListing{true, 0, {{u"Integrated Camera", u"\\\\?\\usb#0", 0u}}};
    return f;
}

void NoProducer(Facts& f) {
    f.processes.resize(2);
}
void Log(Facts& f, const std::string& time, const std::string& message) {
    *f.logBytes += "2026-12-06 " + time + " " + message + "\r\n";
}
void Set(Facts& f, Setting setting, RawSetting::Outcome outcome, std::uint32_t number,
         std::u16string text = {}) {
    f.raw[static_cast<size_t>(setting)] = {outcome, number, std::move(text)};
}
std::string Kinds(const Facts& facts) {
    std::string kinds;
    for (const Finding& finding : Diagnose(facts)) {
        kinds += (kinds.empty() ? "" : ", ") + finding.kind;
    }
    return kinds;
}

TEST(DoctorTest, OneFindingPerFault) {
    using V = RawSetting::Outcome;
    using enum Setting;
    const std::string failed = "failed to start producer: 5 (Access is denied.)";
    const std::string exited = "producer exited unexpectedly";
    const auto fallback = [](Facts& f) {
        f.capabilitiesBlock.snapshot = {2, 0, 1, {{1280, 720, 30, 1}}};
    };
    const std::vector<std::pair<std::function<void(Facts&)>, const char*>> kCases = {
        {[](Facts&) {}, ""},
        {[](Facts& f) { NoProducer(f), f.control[1].samples = {Ticks(0, 0)}; }, ""},
        // The agent: not there; not stamping for the whole watch; stamping while the watch
        // was too short to tell.
        {[](Facts& f) { f.agentMutex = false, f.processes.resize(1); },
         "agent-not-running, producer-not-running"},
        {[](Facts& f) {
             f.consumers[1].samples[1] = {{}, kNow - 300, kNow + 5000};
         },
         "agent-frozen"},
        {[](Facts& f) {
             f.consumers[1].samples[1] = {{}, kNow - 300, kNow + 100};
         },
         ""},
        // Its logon entries, as Windows starts them.
        {[](Facts& f) { f.userEntry.reset(); }, "no-logon-entry"},
        {[](Facts& f) {
             f.userEntry->startError = SystemError{2, u""};
         },
         "logon-entry-missing-program"},
        {[](Facts& f) { f.userEntry->agent = false; }, "logon-entry-not-agent"},
        {[](Facts& f) { f.userEntry->image = u"D:\\Old\\agent.exe"; }, "logon-entry-other-copy"},
        // Another session's agent: it shares the Global\ blocks, not the Local\ ones.
        {[](Facts& f) {
             f.processes.push_back({900, 4, 2, 1, u"orbelune_vcam_agent.exe", u"", true});
             ToGlobal(f.consumers);
         },
         "agents-in-other-sessions"},
        {[](Facts& f) {
             f.processes.push_back({900, 4, 2, 1, u"x.exe", u"C:\\x.exe", true});
         },
         ""},
        // The producer as Windows would start it with the agent's command line.
        {[](Facts& f) { f.producerArguments.clear(), f.producerArgv.clear(); }, "producer-missing"},
        {[](Facts& f) {
             f.producerStartError = SystemError{193, u""};
         },
         "producer-not-a-program"},
        {[](Facts& f) {
             f.producerStartError = SystemError{5, u""}, f.producerIsFolder = true;
         },
         "producer-not-a-program"},
        {[](Facts& f) {
             f.producerStartError = SystemError{1260, u""};
         },
         "producer-start-failed"},
        {[&](Facts& f) { Log(f, "10:00:29", failed); }, "producer-start-failed"},
        // A failure followed by a start, before the settings last changed, a minute ago, or
        // stamped after now (the clock set back) is past.
        {[&](Facts& f) {
             Log(f, "10:00:20", failed), Log(f, "10:00:21", "producer started (camera-index=0");
         },
         ""},
        {[&](Facts& f) {
             Log(f, "10:00:20", failed);
             f.settingsWritten = LocalSeconds(ParseLogLine("2026-12-06 10:00:21 ")->time);
         },
         ""},
        {[&](Facts& f) { Log(f, "09:59:29", failed); }, ""},
        {[&](Facts& f) { Log(f, "10:00:31", failed); }, ""},
        {[](Facts& f) { NoProducer(f); }, "producer-not-running"},
        {[](Facts& f) { NoProducer(f), ToGlobal(f.consumers); }, "agent-on-other-sections"},
        // A producer the agent did not start, under a reused id (a child cannot be older than
        // its parent); another session's belongs to that session's agent.
        {[](Facts& f) { f.processes[2].created = 4999; },
         "producer-not-running, producer-not-from-agent"},
        {[](Facts& f) { f.processes.resize(3), f.processes[2].session = 2; },
         "producer-not-running"},
        // Settings and paths.
        {[](Facts& f) { Set(f, kProducerExe, V::kValue, 0, u"p.exe"); }, "relative-path"},
        {[](Facts& f) { f.repoRootIsFolder = false; }, "repo-root-missing"},
        {[](Facts& f) { f.producerArgv[8] += u"\""; }, "argument-misquoted"},
        {[](Facts& f) { f.producerArgv.resize(5); }, "argument-misquoted"},
        {[](Facts& f) { Set(f, kEnabled, V::kValue, 0), NoProducer(f); }, "disabled"},
        {[](Facts& f) { Set(f, kIdleStopMs, V::kOtherType, 0); }, "setting-ignored"},
        {[](Facts& f) { Set(f, kCameraIndex, V::kValue, 0xFFFFFFFF); }, "negative-camera-index"},
        // The sections, as Windows opens them for the agent.
        {[](Facts& f) {
             f.control[1] = Absent(f.control[1].name), NoProducer(f);
             f.capabilities[1] = Absent(f.capabilities[1].name);
             f.consumers[1] = Absent(f.consumers[1].name);
         },
         "sections-missing"},
        {[](Facts& f) { f.capabilities[1] = Absent(f.capabilities[1].name, 8, true); },
         "section-too-small"},
        {[](Facts& f) { f.consumers[0] = Absent(f.consumers[0].name, 5); }, "section-not-opened"},
        {[](Facts& f) { f.control[0] = Absent(f.control[0].name, 6); }, "section-not-opened"},
        {[](Facts& f) { f.control[1] = Control(f.control[1].name, 1, kNow), NoProducer(f); },
         "header-mismatch"},
        {[](Facts& f) { f.consumers[1].magic = 0x4F42434E; }, "header-mismatch"},
        // Two control sections: one of another release either way round, or two of this
        // release of which only the Local\ one wants frames.
        {[](Facts& f) {
             f.control[0] = Control(u"Global\\OrbeluneVcamControl.v2", 1, 0), NoProducer(f);
         },
         "stale-control-section, producer-not-running"},
        {[](Facts& f) {
             ToGlobal(f.control), ToGlobal(f.consumers);
             f.control[1] = Control(u"Local\\OrbeluneVcamControl.v2", 1, 0);
         },
         ""},
        {[](Facts& f) { f.control[0] = Control(u"Global\\OrbeluneVcamControl.v2", 2, 0); },
         "demand-in-other-section"},
        // The ticks: in the future, moving but never fresh, a heartbeat without demand.
        {[](Facts& f) { f.control[1].samples = {Ticks(kNow - 100, kNow + 1)}; }, "tick-in-future"},
        {[](Facts& f) {
             f.control[1].samples = {Ticks(40, 40), Ticks(540, 540, kNow + 500)}, NoProducer(f);
         },
         "ticks-never-fresh"},
        {[](Facts& f) { f.control[1].samples = {Ticks(0, kNow - 100)}; },
         "heartbeat-without-demand"},
        // The camera CameraIndex names.
        {[](Facts& f) { Set(f, kCameraIndex, V::kValue, 1); }, "camera-index-past-end"},
        {[](Facts& f) { f.cameras->devices[0].symbolicLink = u"\\\\?\\SWD#VCAMDEVAPI#1"; },
         "camera-virtual"},
        {[](Facts& f) { f.cameras->devices[0].activation = 0x80070005; }, "camera-access-denied"},
        {[](Facts& f) { f.cameras->devices[0].activation = 0xC00D3704; }, ""},
        {[&](Facts& f) {
             fallback(f), Log(f, "10:00:01",
                              "camera capability enumeration failed/empty; using "
                              "1280x720@30 fallback");
             Log(f, "10:00:01", "published 1 native camera capability tuple(s)");
         },
         "capabilities-fallback"},
        {[&](Facts& f) {
             fallback(f), Log(f, "10:00:01", "published 1 native camera capability tuple(s)");
         },
         ""},
        {[&](Facts& f) { fallback(f), f.cameras->devices.clear(); }, ""},
        // The log: where it is, whether it opens, and the producer's exits since the agent's
        // start, however far apart.
        {[](Facts& f) { f.expectedLogPath.clear(); }, "log-fallback"},
        {[](Facts& f) {
             f.logOpenError = SystemError{5, u""};
         },
         "log-not-writable"},
        {[](Facts& f) {
             f.logOpenError = SystemError{2, u""}, f.agentMutex = false;
         },
         "agent-not-running"},
        {[&](Facts& f) { Log(f, "09:10:00", exited); }, "producer-restarting"},
        {[&](Facts& f) { Log(f, "08:10:00", exited); }, ""},
    };
    for (size_t i = 0; i < kCases.size(); ++i) {
        Facts facts = Healthy();
        facts.settingsWritten = LocalSeconds(ParseLogLine("2026-12-06 08:00:00 ")->time);
        kCases[i].first(facts);
        EXPECT_EQ(Kinds(facts), kCases[i].second) << "row " << i;
    }
}

TEST(DoctorTest, TextAndJson) {
    Facts facts = Healthy();
    NoProducer(facts);
    facts.producerStartError = SystemError{193, u"193 (Bad EXE format for %1.)"};
    Log(facts, "10:00:29", "failed to start producer: 193 (Bad EXE format for %1.)");
    const Node report = DoctorReport(Diagnose(facts));
    EXPECT_EQ(ReportText(report),
              "1. frames are wanted but no producer runs: ProducerExe is not a program\n"
              "  evidence: demandTick 99900 (100 ms old, fresh)\n"
              "  evidence: ProducerExe = C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe\n"
              "  evidence: Windows refuses to start it with the agent's command line: 193 (Bad "
              "EXE format for %1.)\n"
              "  evidence: log: 2026-12-06 10:00:29 failed to start producer: 193 (Bad EXE "
              "format for %1.)\n"
              "  to do: point ProducerExe at the producer's program: orbelune_vcam_ctl set "
              "ProducerExe PATH\n");
    EXPECT_EQ(ReportJson(report).find(R"({"findings":[{"kind":"producer-not-a-program",)"
                                      R"("problem":"frames are wanted but no producer)"),
              0u);
    EXPECT_EQ(ReportText(DoctorReport({})).substr(0, 19), "nothing wrong found");
    EXPECT_EQ(ReportJson(DoctorReport({})), "{\"findings\":[]}\n");
}

}  // namespace
}  // namespace orbelune
