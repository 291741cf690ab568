// orbelune_vcam_ctl.exe: shows the agent's state and changes its settings and its logon entry,
// for the people who install and support the agent. The agent itself takes no options.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_names.h"
#include "agent/producer.h"
#include "common/handles_win.h"
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

void PrintError(const std::u16string& message) {
    Print(stderr, "orbelune_vcam_ctl: " + ToUtf8(message) + "\n");
}

// The output, and the command's exit code, or a failure when standard output lost it.
int Output(const std::string& text, int exitCode) {
    if (!Print(stdout, text)) {
        PrintError(u"cannot write to standard output");
        return kExitFailure;
    }
    return exitCode;
}

// `call` failed with `error`: said on standard error.
int Failed(std::u16string_view call, DWORD error) {
    PrintError(std::u16string(call) + u" failed: " + DescribeSystemError(error));
    return kExitFailure;
}

// Deletes a value under HKEY_CURRENT_USER; `absent` or `removed` says which it was.
int DeleteValue(std::u16string_view key, std::u16string_view name, const std::string& absent,
                const std::string& removed) {
    const LSTATUS status =
        RegDeleteKeyValueW(HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(name).c_str());
    if (status == ERROR_FILE_NOT_FOUND) {
        return Output(absent, kExitSuccess);
    }
    return status != ERROR_SUCCESS ? Failed(u"RegDeleteKeyValueW", static_cast<DWORD>(status))
                                   : Output(removed, kExitSuccess);
}

// The report as text or JSON, as the command asks.
int Report(const CtlCommand& command, const Node& report, int exitCode) {
    return Output(command.json ? ReportJson(report) : ReportText(report), exitCode);
}

int Cameras(const CtlCommand& command) {
    const Facts facts = GatherFacts(FactsFor::kCameras);
    return Report(command, CamerasReport(*facts.cameras, SettingsOf(facts).cameraIndex),
                  facts.cameras->listed ? kExitSuccess : kExitFailure);
}

int Status(const CtlCommand& command) {
    return Report(command, StatusReport(GatherFacts(FactsFor::kStatus)), kExitSuccess);
}

int Doctor(const CtlCommand& command) {
    const std::vector<Finding> findings = Diagnose(GatherFacts(FactsFor::kDoctor));
    return Report(command, DoctorReport(findings), findings.empty() ? kExitSuccess : kExitFailure);
}

int Set(const CtlCommand& command) {
    const CheckedSetting checked = CheckSetting(command.name, command.value);
    if (!checked.write) {
        PrintError(checked.error);
        return kExitUsage;
    }
    const SettingWrite& write = *checked.write;
    // The key is created when it is not there yet.
    const std::wstring text = ToWide(write.text);
    const DWORD number = write.dword;
    const LSTATUS status = RegSetKeyValueW(
        HKEY_CURRENT_USER, ToWide(kSettingsKey).c_str(), ToWide(write.name).c_str(),
        write.number ? REG_DWORD : REG_SZ,
        write.number ? static_cast<const void*>(&number) : text.c_str(),
        write.number ? sizeof number : static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        return Failed(u"RegSetKeyValueW", static_cast<DWORD>(status));
    }
    const std::u16string shown = write.number ? command.value : QuoteArgument(command.value);
    return Output(ToUtf8(write.name) + " = " + ToUtf8(shown) + "\n", kExitSuccess);
}

int Unset(const CtlCommand& command) {
    const std::optional<Setting> setting = FindSetting(command.name);
    if (!setting) {
        PrintError(UnknownSettingError(command.name));
        return kExitUsage;
    }
    const std::string name = ToUtf8(RowOf(*setting).name);
    return DeleteValue(kSettingsKey, RowOf(*setting).name,
                       name + " was not set; the agent uses its default\n",
                       name + " removed; the agent uses its default\n");
}

int Install(const CtlCommand&) {
    const std::u16string folder = ModuleDirectory();
    if (folder.empty()) {
        return Failed(u"GetModuleFileNameW", GetLastError());
    }
    const std::u16string agent = JoinPath(folder, kAgentExeName);
    if (GetFileAttributesW(ToWide(agent).c_str()) == INVALID_FILE_ATTRIBUTES) {
        PrintError(u"cannot find the agent at " + agent + u": " +
                   DescribeSystemError(GetLastError()));
        return kExitFailure;
    }
    const std::wstring data = ToWide(QuoteArgument(agent));
    const LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, ToWide(kRunKey).c_str(),
                                           ToWide(kRunValueName).c_str(), REG_SZ, data.c_str(),
                                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        return Failed(u"RegSetKeyValueW", static_cast<DWORD>(status));
    }
    return Output(
        "installed: " + ToUtf8(QuoteArgument(agent)) + " starts at every logon of this user\n",
        kExitSuccess);
}

int Uninstall(const CtlCommand&) {
    return DeleteValue(kRunKey, kRunValueName, "not installed; nothing to remove\n",
                       "uninstalled: the agent no longer starts at logon\n");
}

int Help(const CtlCommand&) {
    return Output(CtlUsage(), kExitSuccess);
}

constexpr struct {
    CtlCommand::Kind kind;
    int (*run)(const CtlCommand&);
} kCommands[] = {
    {CtlCommand::Kind::kHelp, Help},       {CtlCommand::Kind::kStatus, Status},
    {CtlCommand::Kind::kDoctor, Doctor},   {CtlCommand::Kind::kCameras, Cameras},
    {CtlCommand::Kind::kSet, Set},         {CtlCommand::Kind::kUnset, Unset},
    {CtlCommand::Kind::kInstall, Install}, {CtlCommand::Kind::kUninstall, Uninstall},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(ToU16(argv[i]));
    }
    const ParsedCommand parsed = ParseCtlArguments(arguments);
    if (!parsed.command) {
        PrintError(parsed.error + u" (see --help)");
        return kExitUsage;
    }
    for (const auto& command : kCommands) {
        if (command.kind == parsed.command->kind) {
            return command.run(*parsed.command);
        }
    }
    return kExitFailure;
}
