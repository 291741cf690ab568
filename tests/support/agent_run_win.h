// Running the whole agent under Wine: a fixture that starts it from a folder of its own beside
// the stand-in producer, the agent's log read from a cursor, the control tool run to its end,
// and the control section stamped as a virtual camera would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/section_win.h"
#include "tests/support/bytes.h"
#include "tests/support/win_test_support.h"

namespace orbelune::testing {

inline constexpr wchar_t kProducer[] = L"orbelune_windows_retouch_vcam_producer.exe";
inline constexpr DWORD kDeadlineMs = 20000;
inline constexpr char kDemandLine[] = "demand detected; starting producer";
inline constexpr char kIdleLine[] = "idle; waiting for a consumer to open Orbelune";

inline std::wstring LogPath() {
    wchar_t programData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH);
    return std::wstring(programData) + L"\\Orbelune\\Logs\\vcam-agent.log";
}

// What has been appended to the agent's log since the cursor was made.
class LogCursor {
  public:
    LogCursor() { start_ = NewText().size(); }
    [[nodiscard]] std::string NewText() const {
        const std::string all = ReadFileBytes(LogPath());
        return all.size() > start_ ? all.substr(start_) : std::string();
    }
    [[nodiscard]] bool WaitFor(std::string_view needle, DWORD timeoutMs) const {
        return WaitUntil([&] { return NewText().find(needle) != std::string::npos; }, timeoutMs);
    }
    // The new lines without their timestamps and line ends.
    [[nodiscard]] std::vector<std::string> NewMessages() const {
        const std::string text = NewText();
        std::vector<std::string> messages;
        for (size_t at = 0, end = 0; (end = text.find("\r\n", at)) != std::string::npos;
             at = end + 2) {
            messages.push_back(text.substr(std::min(at + 20, end), end - std::min(at + 20, end)));
        }
        return messages;
    }

  private:
    size_t start_ = 0;
};

// A file for a started program's output, inheritable; opened for reading only, it refuses writes.
inline UniqueHandle OutputFile(const std::wstring& path, DWORD access = GENERIC_WRITE) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inheritable, OPEN_ALWAYS, 0, nullptr));
}

// orbelune_vcam_ctl.exe run to its end: its exit code and its output, with LF line ends; its
// standard output opened with `outAccess`.
struct CtlResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

inline CtlResult Ctl(const std::wstring& arguments, DWORD outAccess = GENERIC_WRITE) {
    const ScratchFolder folder(L"ctl");
    const std::wstring out = folder.Path() + L"\\out", err = folder.Path() + L"\\err";
    const UniqueHandle outFile = OutputFile(out, outAccess), errFile = OutputFile(err);
    const UniqueHandle process =
        StartProgram(L"\"" + BuildFolder() + L"\\orbelune_vcam_ctl.exe\" " + arguments, {},
                     outFile.Get(), errFile.Get());
    CtlResult result;
    EXPECT_TRUE(process.IsValid()) << "cannot start the control tool, error " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.Get(), &result.exitCode);
    for (auto [text, path] : {std::pair{&result.out, &out}, {&result.err, &err}}) {
        *text = ReadFileBytes(*path);
        std::erase(*text, '\r');
    }
    return result;
}

// Stamps one 32-bit word of the control section as the agent maps it, as a virtual camera would:
// one store of the word's full width, which the agent may read at the same moment.
inline void StampControl(size_t offset, std::uint32_t value) {
    MappedSection control;
    EXPECT_TRUE(OpenSharedSection(control, L"OrbeluneVcamControl.v2", 80));
    std::byte* const word = control.Bytes().subspan(offset, 4).data();
    std::atomic_ref(*reinterpret_cast<std::uint32_t*>(word)).store(value);
}

inline std::uint32_t ControlCameraIndex() {
    return LoadU32(CopySection(L"OrbeluneVcamControl.v2", 80).bytes, 12);
}

inline size_t Producers() {
    return ProcessIdsOf(kProducer).size();
}

// An agent and the stand-in producer in a folder of their own, with a clean settings key.
class AgentTest : public ::testing::Test {
  protected:
    AgentTest() {
        folder_.CopyProgram(kProducer);
        settings_.SetDword(L"IdleStopMs", 1000);
    }
    ~AgentTest() override {
        peer_.Kill();
        agent_.Kill();
        WaitUntil([] { return Producers() == 0; }, 5000);
    }
    void StartAgent(const std::wstring& arguments = {}) {
        agent_ = Launch(folder_.CopyProgram(L"orbelune_vcam_agent.exe"), arguments, Folder());
        ASSERT_TRUE(log_.WaitFor("agent starting", kDeadlineMs));
    }
    // The stand-in's behaviour at its next start: run, exit at once, or start a child.
    void SetMode(std::string_view mode) const {
        std::ofstream(std::filesystem::path(Folder() + L"\\standin-producer.mode")) << mode;
    }
    [[nodiscard]] std::string Records() const {
        return ReadFileBytes(Folder() + L"\\standin-producer.log");
    }
    [[nodiscard]] const std::wstring& Folder() const { return folder_.Path(); }

    SettingsKey settings_;
    ScratchFolder folder_{L"agent"};
    LogCursor log_;
    ChildProcess agent_, peer_;
};

}  // namespace orbelune::testing
