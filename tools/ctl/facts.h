// What the control tool knows of the agent, as one value gathered in one pass by the Windows
// edge (facts_win.h) from what Windows and the running agent answer. Every report is made from it.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "capabilities/capabilities.h"
#include "config/settings.h"
#include "log/log_access.h"
#include "tools/report/block_report.h"

namespace orbelune {

// A system error as Windows gave it, with Windows' text for it.
struct SystemError {
    std::uint32_t code = 0;
    std::u16string text;
};

struct ProcessFacts {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;  // the process that started it, as it was then
    std::uint32_t session = 0;
    std::uint64_t created = 0;  // FILETIME; 0 when Windows does not say
    std::u16string image;       // its file name, from the process table
    std::u16string path;        // its image's full path; empty when Windows does not say
    bool agent = false;         // by its image's version resource; by its file name when unreadable
};

// One look at a mapped section, its fields loaded before `now`, which was read after them.
struct Sample {
    vcam::ControlReading control;   // the control block's fields
    std::uint64_t updatedTick = 0;  // the consumers block's update tick
    std::uint64_t now = 0;
};

// A section under one of its names, opened and mapped as the agent opens and maps it.
struct SectionFacts {
    std::u16string name;               // "Global\..." or "Local\..."
    bool opened = false;               // the name opens (whether or not it maps)
    std::optional<SystemError> error;  // why it does not open or map; nothing when mapped
    std::uint32_t magic = 0, version = 0;
    std::vector<Sample> samples;  // in the order taken; the first is the one `status` shows
};
using Sections = std::array<SectionFacts, 2>;  // the Global\ name, then the Local\ one

// A logon entry (a Run value) and what Windows starts from it.
struct LogonEntry {
    std::u16string stored;    // as stored
    std::u16string expanded;  // as Windows reads it at logon: a REG_EXPAND_SZ expanded
    // Windows' answer to starting it: its error, or the image it started (not tried: neither).
    std::optional<SystemError> startError;
    std::u16string image;
    bool agent = false;
    bool in32BitView = false;  // found in the registry's 32-bit view (HKEY_LOCAL_MACHINE's alone)
};

struct Facts {
    std::uint32_t session = 0;            // this tool's, the user's
    std::uint32_t processId = 0;          // this tool's own
    std::vector<ProcessFacts> processes;  // one process table, every session
    bool agentMutex = false;              // the session's agent mutex exists
    std::u16string toolFolder;            // this tool's own folder

    RawSettingValues raw;
    std::optional<std::int64_t> settingsWritten;  // the settings key's last write (LocalSeconds)
    std::optional<std::int64_t> producerWritten;  // the producer program's last write, likewise

    std::optional<LogonEntry> userEntry, machineEntry;

    // The producer as the agent would start it now (no arguments where it would not find it),
    // its command line as the producer's runtime splits it, and a trial start's error or image.
    std::vector<std::u16string> producerArguments, producerArgv;
    std::u16string producerCommandLine, producerImage;
    bool producerTried = false, producerIsFolder = false, repoRootIsFolder = false;
    std::optional<SystemError> producerStartError;

    Sections control, capabilities, consumers;
    // The blocks the agent publishes, as a snapshot of the section the agent takes finds them.
    PublishedBlock<vcam::CapabilitiesSnapshot> capabilitiesBlock;
    PublishedBlock<vcam::ConsumersSnapshot> consumersBlock;
    std::vector<std::optional<std::tm>> consumerStartsLocal;

    std::u16string logPath, expectedLogPath;  // where the agent writes, and the ProgramData one
    std::optional<std::string> logBytes;      // the log's tail; nothing when it cannot be read
    std::optional<SystemError> logOpenError;  // of opening it for appending
    std::u16string logBlockedBy;  // a folder where the file should be, or a file in its path
    std::vector<LogAccessFinding> logAccess;  // what keeps other users' agents from appending
    std::tm localNow = {};                    // now, on the clock the log's lines carry

    std::optional<CameraListing> cameras;
};

// Each block's sections in the facts, with the name and size the agent opens them by.
struct BlockSections {
    Sections Facts::*sections;
    const wchar_t* name;
    std::size_t size;
};
inline constexpr BlockSections kBlockSections[] = {
    {&Facts::control, vcam::kControlSectionName, vcam::kControlBlockSize},
    {&Facts::capabilities, vcam::kCapabilitiesSectionName, vcam::kCapabilitiesBlockSize},
    {&Facts::consumers, vcam::kConsumersSectionName, vcam::kConsumersBlockSize}};

// The section of a block the agent opens: the first of its names that opens and maps.
const SectionFacts* AgentSection(const Sections& sections);

// The agent of this session: the oldest agent process here (a later one exits at once).
const ProcessFacts* SessionAgent(const Facts& facts);

// Whether `p` is a producer of this session, whoever started it, by ProducerExe's file name or
// the default one; never an agent or this tool.
bool IsProducer(const Facts& facts, const ProcessFacts& p);

// Whether `process` is the session's agent's own child: the producer it started, whatever its name.
bool IsAgentChild(const Facts& facts, const ProcessFacts& process);

// The process that started `process`, while it runs; nothing once it has ended.
const ProcessFacts* ParentOf(const Facts& facts, const ProcessFacts& process);

// Whether `process` was started by the session's agent or by a process it started.
bool StartedByAgent(const Facts& facts, const ProcessFacts& process);

// The folder the agent's defaults lie in: the running agent's, else the folder of the program a
// logon entry starts when that is the agent, else this tool's; and which it is, in words.
std::pair<std::u16string, const char*> AgentFolder(const Facts& facts);

// The settings as the agent takes them, its defaults in AgentFolder.
AgentSettings SettingsOf(const Facts& facts);

// The longest the edge watches the blocks, and whether the watch already tells what the rules
// need: the agent's consumers stamp seen to move, and each control section's ticks settled.
inline constexpr std::uint64_t kWatchMs = 5000;
bool WatchSettled(const Facts& facts);

// Whether a section's watched ticks changed between its samples; whether the agent would have
// seen demand or a consumer in any of them; whether it is a consumers block of this release.
bool Moved(const SectionFacts& section);
bool EverFresh(const SectionFacts& section);
bool IsStampedConsumers(const SectionFacts& section);

}  // namespace orbelune
