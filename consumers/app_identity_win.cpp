#include "consumers/app_identity_win.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/file_win.h"
#include "common/process_win.h"
#include "common/text.h"
#include "common/text_win.h"

namespace orbelune {

RunningProcessNames SnapshotProcessNames() noexcept {
    RunningProcessNames names;
    for (const RunningProcess& process : RunningProcesses()) {
        names.insert(ToLowerUnits(ToU16(process.image)));
    }
    return names;
}

std::optional<std::u16string> ReadVersionName(std::u16string_view path) noexcept {
    const std::wstring widePath = ToWide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) {
        // A file that opens has no version resource; one that does not open was not read.
        return ReadFileTail(widePath, 0) ? std::optional(std::u16string()) : std::nullopt;
    }
    std::vector<std::byte> resource(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, resource.data())) {
        return std::nullopt;
    }
    void* translations = nullptr;
    UINT translationBytes = 0;
    if (!VerQueryValueW(resource.data(), ToWide(kVersionTranslationQuery).c_str(), &translations,
                        &translationBytes) ||
        translations == nullptr || translationBytes < 4) {
        return std::u16string();
    }
    const auto* pairs = static_cast<const std::byte*>(translations);
    for (const std::u16string_view key : kVersionNameKeys) {
        for (size_t i = 0; i < translationBytes / 4; ++i) {
            WORD language = 0;
            WORD codePage = 0;
            std::memcpy(&language, pairs + 4 * i, sizeof language);
            std::memcpy(&codePage, pairs + 4 * i + 2, sizeof codePage);
            const std::wstring query = ToWide(VersionStringQuery(language, codePage, key));
            void* value = nullptr;
            UINT units = 0;
            if (!VerQueryValueW(resource.data(), query.c_str(), &value, &units) ||
                value == nullptr || units < 2) {
                continue;
            }
            // The text runs to its terminating zero, whatever length the resource states; the
            // search for the zero stops at the end of the resource's copy.
            const auto offset = reinterpret_cast<std::uintptr_t>(value) -
                                reinterpret_cast<std::uintptr_t>(resource.data());
            if (offset >= resource.size()) {
                continue;
            }
            const auto* text = static_cast<const wchar_t*>(value);
            const std::wstring_view name(text,
                                         wcsnlen(text, (resource.size() - offset) / sizeof *text));
            if (!name.empty()) {
                return ToU16(name);
            }
        }
    }
    return std::u16string();
}

std::u16string ResolveDisplayName(DisplayNameCache& cache, std::u16string_view path,
                                  std::u16string_view key) noexcept {
    if (std::optional<std::u16string> name = ResolveWithoutFile(cache, key)) {
        return *std::move(name);
    }
    return ResolveFromVersionName(cache, key, ReadVersionName(path).value_or(u""));
}

}  // namespace orbelune
