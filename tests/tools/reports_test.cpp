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
constexpr auto kAccepted = vcam::SnapshotStatus::kAccepted;
const std::u16string kProducer = u"C:\\Agent\\orbelune_windows_retouch_vcam_producer.exe";

// The control block's ticks as the agent reads them, looked at at `now`.
Sample Ticks(std::uint64_t demand, std::uint64_t heartbeat, std::uint64_t now = kNow,
             std::uint32_t version = 2) {
    return {{0x4F425643, version, version == 2, 0, demand, 0, heartbeat}, 0, now};
}
const auto Stamp = [](std::uint64_t tick, std::uint64_t now) { return Sample{{}, tick, now}; };
SectionFacts Section(std::u16string name, std::uint32_t magic, std::uint32_t version,
                     std::vector<Sample> samples = {}) {
    return {std::move(name), true, std::nullopt, magic, version, std::move(samples)};
}
SectionFacts Absent(std::u16string name, std::uint32_t error = 2, bool opened = false) {
    return {std::move(name), opened, SystemError{error, u"(error)"}, 0, 0, {}};
}
SectionFacts Control(std::u16string name, std::uint32_t version, std::uint64_t demand) {
    return Section(std::move(name), 0x4F425643, version, {Ticks(demand, demand, kNow, version)});
}
void ToGlobal(Sections& sections) {
    sections[0] = sections[1];
    sections[0].name.replace(0, 5, u"Global");
    sections[1] = Absent(sections[1].name);
}

// An agent at work under another file name, known by its version resource: demand and a
// consumer, its producer (and that one's child), formats published, its stamp moving.
Facts Healthy() {
    Facts f;
    f.session = f.agentMutex = f.producerTried = f.repoRootIsFolder = true;
    const std::u16string image = u"orbelune_windows_retouch_vcam_producer.exe";
    f.processes = {{300, 4, 1, 5000, u"agent.exe", u"C:\\Agent\\agent.exe", true},
                   {412, 300, 1, 5000, image, kProducer, false},  // as old as its parent
                   {413, 412, 1, 6001, image, kProducer, false}};
    f.userEntry = {u"%A%\\agent.exe", u"C:\\Agent\\agent.exe", {}, u"C:\\Agent\\AGENT.EXE", true};
    f.producerArgv = f.producerArguments =
        ProducerArguments(kProducer, u"directml", 0, u"C:\\Agent");
    f.producerImage = kProducer;
    f.control = {Absent(u"Global\\OrbeluneVcamControl.v2"),
                 Control(u"Local\\OrbeluneVcamControl.v2", 2, kNow)};
    f.capabilities = {Absent(u"Global\\OrbeluneVcamCapabilities.v1"),
                      Section(u"Local\\OrbeluneVcamCapabilities.v1", 0x4F425650, 1)};
    f.capabilitiesBlock = {f.capabilities[1].name, 0x4F425650, 1, kAccepted, {1, 0, 2}};
    f.capabilitiesBlock.snapshot.formats[0] = {1280, 720, 30, 1};
    f.consumers = {Absent(u"Global\\OrbeluneVcamConsumers.v1"),
                   Section(u"Local\\OrbeluneVcamConsumers.v1", 0x4F42434F, 1,
                           {Stamp(kNow - 300, kNow), Stamp(kNow + 700, kNow + 800)})};
    f.logPath = f.expectedLogPath = u"C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log";
    f.logBytes = "2026-12-06 09:00:00 agent starting\r\n";
    f.localNow = ParseLogLine("2026-12-06 10:00:30 ")->time;
    f.settingsWritten = LocalSeconds(f.localNow) - 9000;  // 08:00:30
    f.cameras = CameraListing{true, 0, {{u"Integrated Camera", u"\\\\?\\usb#0", 0u}}};
    return f;
}

const auto NoProducer = [](Facts& f) { f.processes.resize(1); };
void Log(Facts& f, const std::string& time, const std::string& message) {
    *f.logBytes += "2026-12-06 " + time + " " + message + "\r\n";
}
void Set(Facts& f, Setting setting, RawSetting::Outcome outcome, std::uint32_t number,
         std::u16string text = {}) {
    f.raw[static_cast<size_t>(setting)] = {outcome, number, std::move(text)};
}

TEST(DoctorTest, OneFindingPerFaultItsTextAndTheWatch) {
    using V = RawSetting::Outcome;
    using enum Setting;
    using F = Facts&;
    const auto error = [](std::uint32_t code) { return SystemError{code, u""}; };
    const auto fallback = [](F f) { f.capabilitiesBlock.snapshot.count = 1; };  // 1280x720@30/1
    const std::string failed = "failed to start producer: 5 (Access is denied.)";
    const std::string started = "producer started (camera-index=0 provider=directml)";
    const std::string published = "published 1 native camera capability tuple(s)";
    const std::string fallen =
        "camera capability enumeration failed/empty; using 1280x720@30 fallback";
    const std::u16string global = u"Global\\OrbeluneVcamControl.v2";
    const std::vector<std::pair<std::function<void(F)>, const char*>> kCases = {
        {[](F) {}, ""},
        // The agent not stamping for the whole watch.
        {[](F f) { f.consumers[1].samples[1] = Stamp(kNow - 300, kNow + 4000); }, "agent-frozen"},
        // Never stamped by an agent that started within the minute: its first pass may be slow.
        {[](F f) {
             f.consumers[1].samples = {Stamp(0, kNow), Stamp(0, kNow + 4000)};
             Log(f, "10:00:25", "agent starting");
         },
         ""},
        // Another program holds Global\ with another release's header: the agent maps it and
        // writes nothing, so the still Local\ block tells nothing of its progress.
        {[](F f) {
             f.consumers[1].samples = {Stamp(0, kNow), Stamp(0, kNow + 4000)};
             f.consumers[0] = Section(u"Global\\OrbeluneVcamConsumers.v1", 0x11111111, 7,
                                      f.consumers[1].samples);
         },
         "header-mismatch | a program of another release holds Global\\OrbeluneVcamConsumers.v1"},
        {[](F f) { f.userEntry.reset(); },
         "no-logon-entry | no value "
         "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
         "OrbeluneCameraAgent"},
        {[&](F f) { f.userEntry->startError = error(2), f.userEntry->image.clear(); },
         "logon-entry-missing-program"},
        {[](F f) { f.userEntry->agent = false; }, "logon-entry-not-agent"},
        // Another session's agent: it shares the Global\ blocks.
        {[](F f) {
             f.processes.push_back({9, 4, 2, 1, u"", u"", true}), ToGlobal(f.consumers);
         },
         "agents-in-other-sessions"},
        // The producer, as Windows answers a start with the agent's command line.
        {[&](F f) { f.producerStartError = error(216); }, "producer-not-a-program"},
        {[&](F f) { f.producerStartError = error(1260); }, "producer-start-failed"},
        {[&](F f) { Log(f, "10:00:30", failed); }, "producer-start-failed"},
        // Past: a failure a start followed, from before the settings changed, or after now.
        {[&](F f) { Log(f, "10:00:20", failed), Log(f, "10:00:21", started); }, ""},
        // Started with another provider or program than those stored now; a log cut off by zeros.
        {[&](F f) { Log(f, "10:00:21", started), Set(f, kProvider, V::kValue, 0, u"cpu"); },
         "producer-outdated"},
        {[](F f) { f.producerImage = u"C:\\W\\cmd.exe"; }, "producer-outdated"},
        {[](F f) { f.producerImage = u"C:\\New\\P.exe"; },
         "producer-outdated | set Enabled 0, wait until the log says \"disabled via config; "
         "stopping producer\""},
        {[](F f) {
             Log(f, "09:10:00", "producer exited unexpectedly");
             *f.logBytes += std::string(8, '\0');
             Log(f, "09:30:00", "agent starting");
         },
         ""},
        {[&](F f) { Log(f, "10:00:20", failed), f.settingsWritten = LocalSeconds(f.localNow) - 5; },
         ""},
        {[&](F f) { Log(f, "10:00:31", failed), Log(f, "09:59:30", failed); }, ""},
        // The settings key deleted since: a failure Windows no longer gives is past.
        {[&](F f) { Log(f, "10:00:20", failed), f.settingsWritten.reset(); }, ""},
        // The agent's process not found yet, or its mutex not taken yet: it is starting.
        {[](F f) { f.processes.clear(); }, ""},
        {[](F f) { f.agentMutex = false, NoProducer(f); }, "agent-not-running"},
        {[](F f) { NoProducer(f), ToGlobal(f.consumers); }, "agent-on-other-sections"},
        // A producer the agent did not start, under a reused id (a child is not older).
        {[](F f) { f.processes[1].created = 4999; },
         "producer-not-running, producer-not-from-agent"},
        // Never the agent or this tool, under the producer's name; one under the default name
        // outlives the script that started it; with the agent's process unknown, none.
        {[](F f) {
             f.processId = 9;
             f.processes.push_back(
                 {9, 1, 1, 1, u"Orbelune_Windows_Retouch_Vcam_Producer.exe", u"", false});
             f.processes.push_back({8, 9, 1, 9000, f.processes[1].image, u"", true});
         },
         ""},
        {[](F f) {
             f.producerImage = u"C:\\W\\CMD.EXE", f.processes[2].parentId = 7;
             f.processes[1].image = u"cmd.exe", f.processes[1].path = u"C:\\W\\cmd.exe";
         },
         "producer-not-from-agent"},
        {[](F f) { f.processes[0].agent = false; }, ""},
        {[](F f) { Set(f, kProducerExe, V::kValue, 0, u"\"C:\\A b\\p.exe\""); },
         "relative-path | set ProducerExe \"C:\\A b\\p.exe\" (the prompt drops the quotes)"},
        {[](F f) { f.producerArgv[8] += u"\""; }, "argument-misquoted"},
        {[](F f) { Set(f, kEnabled, V::kValue, 0), NoProducer(f), f.repoRootIsFolder = false; },
         "repo-root-missing, disabled"},
        {[](F f) {
             Set(f, kIdleStopMs, V::kOtherType, 0), Set(f, kCameraIndex, V::kValue, 0xFFFFFFFF);
         },
         "setting-ignored, negative-camera-index"},
        // The sections, as Windows opens them for the agent.
        {[](F f) {
             f.control[1] = f.capabilities[1] = f.consumers[1] = Absent(u"L"), NoProducer(f);
         },
         "sections-missing"},
        {[](F f) {
             f.capabilities[1] = Absent(f.capabilities[1].name, 8, true);
             f.cameras->devices[0].activation = 0x80070005;
         },
         "section-too-small, camera-access-denied"},
        {[](F f) { f.control[0] = Absent(f.control[0].name, 6); },
         "section-not-opened | cannot make it; end the program that holds an object"},
        {[](F f) { f.control[1] = Control(f.control[1].name, 1, kNow), NoProducer(f); },
         "header-mismatch"},
        // Two control sections: another release's beside this one's, or demand only in Local\.
        {[&](F f) { f.control[0] = Control(global, 1, 0), NoProducer(f); },
         "stale-control-section, producer-not-running | which it does from its next start on"},
        {[](F f) {
             ToGlobal(f.control), ToGlobal(f.consumers), f.control[1] = Control(u"L", 1, 0);
         },
         ""},
        {[&](F f) { f.control[0] = Control(global, 2, 0); }, "demand-in-other-section"},
        {[&](F f) {
             f.control[0] = Control(global, 2, kNow), f.control[1].samples = {Ticks(0, 0)};
         },
         "demand-in-other-section | the agent works on Local\\OrbeluneVcamControl.v2 now"},
        // The ticks: in the future, moving but never fresh, a heartbeat without demand.
        {[](F f) { f.control[1].samples = {Ticks(kNow - 100, kNow + 1)}; }, "tick-in-future"},
        {[](F f) {
             f.control[1].samples = {Ticks(0, kNow - 100)};
             f.producerArguments.clear(), f.producerArgv.clear(), f.producerImage.clear();
         },
         "heartbeat-without-demand, producer-missing"},
        {[](F f) {
             f.control[1].samples = {Ticks(40, 40), Ticks(540, 40, kNow + 9)};
         },
         "ticks-never-fresh"},
        {[](F f) {
             Set(f, kCameraIndex, V::kValue, 1), f.userEntry->image = u"D:\\Old\\agent.exe";
         },
         "logon-entry-other-copy, camera-index-past-end"},
        {[](F f) { f.cameras->devices[0].symbolicLink = u"\\\\?\\SWD#VCAMDEVAPI#1"; },
         "camera-virtual | connect a real camera"},
        {[&](F f) { fallback(f), Log(f, "10:00:01", fallen), Log(f, "10:00:01", published); },
         "capabilities-fallback"},
        {[&](F f) {
             fallback(f), Log(f, "10:00:01", fallen), Log(f, "10:00:01", published);
             Log(f, "10:00:02", published);
         },
         ""},
        // The log: its place, whether it opens, the producer's exits since the agent's start.
        {[](F f) { f.expectedLogPath.clear(), f.logAccess.resize(1); },
         "log-fallback, log-not-shared"},
        {[&](F f) { f.logOpenError = error(5), f.agentMutex = false; },
         "agent-not-running, log-not-writable"},
        {[&](F f) { f.logOpenError = error(3); }, ""},
        {[](F f) { f.logBlockedBy = u"C:\\ProgramData\\Orbelune"; },
         "log-not-writable | a file stands where the log's folder should be"},
        {[](F f) { Log(f, "09:10:00", "producer exited unexpectedly"); }, "producer-restarting"},
        {[](F f) { Log(f, "08:10:00", "producer exited unexpectedly"); }, ""},
        {[](F f) {  // the producer replaced since
             Log(f, "09:10:00", "producer exited unexpectedly");
             f.producerWritten = LocalSeconds(f.localNow) - 60;
         },
         ""},
    };
    // Each row's kinds, then after " | " what their words (problem, action, evidence) must hold.
    for (size_t i = 0; i < kCases.size(); ++i) {
        Facts facts = Healthy();
        kCases[i].first(facts);
        std::string kinds, words;
        for (const Finding& finding : Diagnose(facts)) {
            kinds += (kinds.empty() ? "" : ", ") + finding.kind;
            words += finding.problem + "; " + finding.action + "; ";
            for (const std::string& e : finding.evidence) {
                words += e + "; ";
            }
        }
        const std::string_view expected = kCases[i].second;
        const size_t bar = expected.find(" | ");
        EXPECT_EQ(kinds, expected.substr(0, bar)) << "row " << i;
        EXPECT_NE(words.find(bar == expected.npos ? "" : expected.substr(bar + 3)),
                  std::string::npos)
            << "row " << i << ": " << words;
    }
    const Node report =
        DoctorReport({{"k-1", "p\u00e9", {"e1", "e2"}, "a"}, {"k-2", "q", {}, "b"}});
    EXPECT_EQ(ReportText(report),
              "1. p\u00e9\n  evidence: e1\n  evidence: e2\n  to do: a\n2. q\n  to do: b\n");
    EXPECT_EQ(ReportJson(report),
              R"({"findings":[{"kind":"k-1","problem":"p\u00e9","evidence":["e1","e2"],)"
              R"("action":"a"},{"kind":"k-2","problem":"q","evidence":[],"action":"b"}]})"
              "\n");
    // The watch lasts until the agent's stamp moves, and the ticks are fresh, move, or stand still.
    Facts f = Healthy();
    f.consumers[1].samples.pop_back();
    EXPECT_FALSE(WatchSettled(f));
    f.consumers[1].samples.push_back(Stamp(kNow, kNow + 900));
    f.control[1].samples = {Ticks(40, 40), Ticks(40, 40, kNow + 3000)};
    EXPECT_FALSE(WatchSettled(f));
    f.consumers[1] = Absent(u"Local\\OrbeluneVcamConsumers.v1");  // no stamp to wait for
    f.control[1].samples = {Ticks(kNow, kNow)};
    EXPECT_TRUE(WatchSettled(f));
    EXPECT_EQ(LocalSeconds(ParseLogLine("2000-03-01 00:00:01 ")->time), 951868801);  // leap year
}

void ExpectParts(const std::string& text, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

// The agent at work, awkward ticks and names; then blocks not published, not valid, not opened.
TEST(StatusReportTest, AgentAndBlocks) {
    Facts f = Healthy();
    f.processes[2].session = 2;
    f.control[1].samples[0].control.consumerStartTick = kNow + 250;
    f.consumersBlock = {u"Local\\S", 0x4F42434F, 1, kAccepted, {1, kNow, 2}};
    // Started 2026-01-01 06:00:00.250 UTC, at 05:00:00 on the local clock.
    f.consumersBlock.snapshot.consumers[0] = {u"Z \"\n\u00e9\U0001F4F7", "z.exe", 1,
                                              134117208002500000};
    f.consumersBlock.snapshot.consumers[1] = {u"Y", "y", 0, 5};  // before 1970: no local time
    f.consumerStartsLocal = {ParseLogLine("2026-01-01 05:00:00 ")->time};
    const std::string text = ReportText(StatusReport(f));
    ExpectParts(text, {"settings (HKEY_CURRENT_USER\\Software\\Orbelune; defaults in C:\\Agent, "
                       "the running agent's folder):\n  CameraIndex  0  (default)\n  Provider     "
                       "directml  (default)\n  Enabled      1  (default)\n",
                       "  [0] 1280x720@30/1\n  [1] 0x0@0/0\nconsumers block (",
                       "control block (Local\\OrbeluneVcamControl.v2): valid, magic 0x4F425643 "
                       "version 2\n  cameraIndex 0\n  demandTick 100000 (0 ms old, fresh)\n  "
                       "consumerStartTick 100250 (250 ms in the future, stale)\n  "
                       "consumerHeartbeatTick 100000 (0 ms old, fresh)\n  demand no, consumer "
                       "present yes\n",
                       "  count 2, updated 0 ms ago (updatedTick 100000), sequence 1\n  [0] "
                       "\"Z \\\"\\x0A\xC3\xA9\xF0\x9F\x93\xB7\" identity \"z.exe\", packaged, "
                       "started 2026-01-01 05:00:00 local time\n  [1] \"Y\" identity \"y\", "
                       "desktop, started at FILETIME 5 (no local time for it)\nlog "
                       "C:\\ProgramData\\Orbelune\\Logs\\vcam-agent.log, last 1 line:\n  "
                       "2026-12-06 09:00:00 agent starting\n"});
    ExpectParts(
        ReportJson(StatusReport(f)),
        {R"({"settings":{"CameraIndex":{"value":0,"source":"default"},"Provider":{"value":)"
         R"("directml","source":"default"},"Enabled":{"value":true,"source":"default"},)",
         R"("defaultsFolder":"C:\\Agent"},"camera":{"listedCameras":1,"named":{"index":0,)",
         R"("agentRunning":true,"agent":{"processId":300,)", R"("processIds":[412]},)",
         R"("snapshot":"accepted",)", R"("demandTick":{"value":100000,"ageMs":0,"fresh":true},)",
         R"("slots":[{"displayName":"Z \"\u000a\u00e9\ud83d\udcf7","identity":"z.exe",)"
         R"("packaged":true,"lastUsedStart":134117208002500000,"startedLocal":"2026-01-01T05:00:00"})",
         R"("lines":["2026-12-06 09:00:00 agent starting"]}})"});

    EXPECT_NE(ReportJson(ControlNode(u"C", {}, 5)).find(R"("demandTick":{"value":0,"ageMs":null,)"),
              std::string::npos);  // a tick never stamped has no age
    alignas(8) const std::byte nothing[8] = {};
    TakeSnapshot(nothing, 4, f.capabilitiesBlock);  // too small even for its header words
    f.consumersBlock.status = vcam::SnapshotStatus::kRejected;
    f.consumersBlock.magic = 0x5842434F;
    ExpectParts(ReportText(StatusReport(f)),
                {"capabilities block (Local\\OrbeluneVcamCapabilities.v1): too small for the "
                 "block, magic 0x00000000 (expected 0x4F425650) version 0 (expected 1)\n"
                 "consumers block (Local\\S): not valid, magic 0x5842434F (expected 0x4F42434F) "
                 "version 1\n"});
    f.consumersBlock.magic = 0x4F42434F;  // this release's header, yet no finished publication
    ExpectParts(ReportText(StatusReport(f)), {"consumers block (Local\\S): holding no finished"});
    f.control[1] = Absent(u"Local\\C", 8, true);  // each name with Windows' reason
    ExpectParts(ReportText(StatusReport(f)),
                {"control block: Global\\OrbeluneVcamControl.v2 (error); Local\\C opens but cannot "
                 "be mapped at the block's size, (error); the agent counts it as missing\n"});
    ExpectParts(ReportJson(StatusReport(f)),
                {R"("controlBlock":{"sections":[{"section":"Global\\OrbeluneVcamControl.v2",)"
                 R"("opened":false,"error":2},{"section":"Local\\C","opened":true,"error":8}]},)"});
}

// The camera CameraIndex names, and the list `cameras` prints.
TEST(CameraReportTest, IndexNamesAndWhyACameraCannotBeOpened) {
    const CameraListing listing{true,
                                0,
                                {{u"Integrated Camera", u"\\\\?\\usb#0", 0u},
                                 {u"Windows Virtual Camera", u"\\\\?\\root#1", std::nullopt},
                                 {u"USB Camera", u"\\\\?\\usb#2", 0x80070005u},
                                 {u"Cam", u"\\\\?\\usb#3", 0xC00D3704u}}};
    const std::string kFallback = "the agent publishes the 1280x720@30 fallback";
    const std::string kDenied =
        "cannot be opened: access denied: camera access for desktop "
        "apps is off in the privacy settings (0x80070005)";
    EXPECT_EQ(ConfiguredCamera(listing, 2).line,
              "camera: CameraIndex 2 names \"USB Camera\" (\\\\?\\usb#2); it " + kDenied + ", so " +
                  kFallback);
    EXPECT_EQ(ConfiguredCamera(listing, 4).line,
              "camera: CameraIndex 4 names no camera: 4 listed, 0 to 3; " + kFallback);
    EXPECT_EQ(ReportText(CamerasReport(listing, 2)),
              "0  \"Integrated Camera\" (\\\\?\\usb#0)\n1  \"Windows Virtual Camera\" "
              "(\\\\?\\root#1)  virtual camera\n2  \"USB Camera\" (\\\\?\\usb#2)  " +
                  kDenied +
                  "  <- CameraIndex\n3  \"Cam\" (\\\\?\\usb#3)  cannot be opened: in use "
                  "by another application (0xC00D3704)\n");
    ExpectParts(ReportJson(CamerasReport(listing, 1)),
                {R"({"cameraIndex":1,"listError":null,"cameras":[{"index":0,)",
                 R"("virtual":true,"selected":true,"openError":null},{"index":2,)",
                 R"("selected":false,"openError":"0x80070005","openFailure":"access denied: )"});
}

}  // namespace
}  // namespace orbelune
