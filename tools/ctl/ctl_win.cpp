// orbelune_vcam_ctl.exe: the agent's state, settings and logon entry, for its supporters.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/agent_names.h"
#include "agent/producer.h"
#include "common/path.h"
#include "common/path_win.h"
#include "common/system_error_win.h"
#include "common/text.h"
#include "common/text_win.h"
#include "tools/ctl/ctl_command.h"
#include "tools/ctl/doctor.h"
#include "tools/ctl/facts_win.h"
#include "tools/ctl/reports.h"

namespace {

using namespace orbelune;

// Whether all of `text` reached the stream: a script that reads the output must not take a
// report it never got for a healthy agent.
bool Print(FILE* stream, const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written && std::ferror(stream) == 0;
}

// `message` said on standard error; the exit code.
int Fail(const std::u16string& message, int exitCode = kExitFailure) {
    Print(stderr, "orbelune_vcam_ctl: " + ToUtf8(message) + "\n");
    return exitCode;
}

int Failed(std::u16string_view call, DWORD error) {
    return Fail(std::u16string(call) + u" failed: " + DescribeSystemError(error));
}

// The output, and the command's exit code, or a failure when standard output lost it.
int Output(const std::string& text, bool failed = false) {
    return !Print(stdout, text) ? Fail(u"cannot write to standard output")
           : failed             ? kExitFailure
                                : kExitSuccess;
}

int Report(const CtlCommand& command, const Node& report, bool failed = false) {
    return Output(command.json ? ReportJson(report) : ReportText(report), failed);
}

// Deletes a value under HKEY_CURRENT_USER; `absent` or `removed` says which it was, then `tail`.
int DeleteValue(std::u16string_view key, std::u16string_view name, const std::string& absent,
                const std::string& removed, const std::string& tail) {
    const auto status = static_cast<DWORD>(
        RegDeleteKeyValueW(HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(name).c_str()));
    return status == ERROR_FILE_NOT_FOUND ? Output(absent + tail)
           : status != ERROR_SUCCESS      ? Failed(u"RegDeleteKeyValueW", status)
                                          : Output(removed + tail);
}

// Stores `value` under HKEY_CURRENT_USER, creating the key if need be; `stored` says so.
int StoreValue(std::u16string_view key, const SettingWrite& value, const std::string& stored) {
    const std::wstring data = ToWide(value.text);
    const DWORD dword = value.dword;
    const auto status = static_cast<DWORD>(RegSetKeyValueW(
        HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(value.name).c_str(),
        value.number ? REG_DWORD : REG_SZ,
        value.number ? static_cast<const void*>(&dword) : data.c_str(),
        value.number ? sizeof dword : static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
    return status != ERROR_SUCCESS ? Failed(u"RegSetKeyValueW", status) : Output(stored);
}

int Run(const CtlCommand& command) {
    using enum CtlCommand::Kind;
    switch (command.kind) {
        case kHelp:
            return Output(CtlUsage());
        case kStatus:
            return Report(command, StatusReport(GatherFacts(FactsFor::kStatus)));
        case kDoctor: {
            const std::vector<Finding> findings = Diagnose(GatherFacts(FactsFor::kDoctor));
            return Report(command, DoctorReport(findings), !findings.empty());
        }
        case kCameras: {
            const Facts facts = GatherFacts(FactsFor::kCameras);
            return Report(command, CamerasReport(*facts.cameras, SettingsOf(facts).cameraIndex),
                          !facts.cameras->listed);
        }
        case kSet: {
            const Setting setting = *FindSetting(command.name);  // the parser knows it
            const Checked<SettingWrite> checked = CheckSetting(setting, command.value);
            if (!checked.value) {
                return Fail(checked.error, kExitUsage);
            }
            const SettingWrite& write = *checked.value;
            // The value as the agent reads it back: "-0" is 0, a text in quotes.
            const std::u16string shown =
                write.number ? SettingText(RowOf(setting).kind, {write.dword, {}, true})
                             : QuoteArgument(command.value);
            return StoreValue(kSettingsKey, write, ToUtf8(write.name + u" = " + shown) + "\n");
        }
        case kUnset: {
            const std::u16string_view name = RowOf(*FindSetting(command.name)).name;
            return DeleteValue(kSettingsKey, name, ToUtf8(name) + " was not set",
                               ToUtf8(name) + " removed", "; the agent uses its default\n");
        }
        case kInstall: {
            const std::u16string folder = ModuleDirectory();
            if (folder.empty()) {
                return Failed(u"GetModuleFileNameW", GetLastError());
            }
            const std::u16string agent = JoinPath(folder, kAgentExeName);
            if (GetFileAttributesW(ToWide(agent).c_str()) == INVALID_FILE_ATTRIBUTES) {
                return Fail(u"cannot find the agent at " + agent + u": " +
                            DescribeSystemError(GetLastError()));
            }
            const std::u16string entry = QuoteArgument(agent);
            return StoreValue(
                kRunKey, {std::u16string(kRunValueName), false, 0, entry},
                "installed: " + ToUtf8(entry) + " starts at every logon of this user\n");
        }
        case kUninstall:
            // The entry for every user is the MSI's (or a script's), and goes with it.
            return DeleteValue(
                kRunKey, kRunValueName, "not installed for this user; nothing to remove",
                "uninstalled: the agent no longer starts at this user's logon",
                MachineEntryStartsAgent() ? "; the entry for all users still starts it\n" : "\n");
    }
    return kExitFailure;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(ToU16(argv[i]));
    }
    const Checked<CtlCommand> parsed = ParseCtlArguments(arguments);
    return parsed.value ? Run(*parsed.value) : Fail(parsed.error + u" (see --help)", kExitUsage);
}
