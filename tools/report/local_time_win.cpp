#include "tools/report/local_time_win.h"

#include <windows.h>

namespace orbelune {

std::optional<LocalTime> LocalTimeOf(std::uint64_t filetime) {
    // Whole milliseconds, as the broken-down times hold, so that the offset comes out exact.
    const std::uint64_t utcValue = filetime - filetime % 10'000;
    const FILETIME utc = {static_cast<DWORD>(utcValue), static_cast<DWORD>(utcValue >> 32)};
    SYSTEMTIME utcParts = {};
    SYSTEMTIME parts = {};
    FILETIME local = {};
    if (!FileTimeToSystemTime(&utc, &utcParts) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &parts) ||
        !SystemTimeToFileTime(&parts, &local)) {
        return std::nullopt;
    }
    const std::uint64_t localValue =
        (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    return LocalTime{
        parts.wYear,
        parts.wMonth,
        parts.wDay,
        parts.wHour,
        parts.wMinute,
        parts.wSecond,
        parts.wMilliseconds,
        static_cast<int>(static_cast<std::int64_t>(localValue - utcValue) / (60 * 10'000'000LL))};
}

std::vector<std::optional<LocalTime>> LocalStartTimes(const vcam::ConsumersSnapshot& snapshot) {
    std::vector<std::optional<LocalTime>> times;
    for (std::uint32_t i = 0; i < snapshot.count && i < vcam::kMaxConsumers; ++i) {
        times.push_back(LocalTimeOf(snapshot.consumers[i].lastUsedStart));
    }
    return times;
}

}  // namespace orbelune
