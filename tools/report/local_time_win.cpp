#include "tools/report/local_time_win.h"

#include <ctime>

#include "tools/report/block_report.h"

namespace orbelune {

std::optional<std::int64_t> LocalMsOf(std::uint64_t filetime) {
    const auto seconds = static_cast<__time64_t>((filetime - kUnixEpochFiletime) / 10'000'000);
    std::tm local = {};
    if (filetime < kUnixEpochFiletime || _localtime64_s(&local, &seconds) != 0) {
        return std::nullopt;
    }
    return LocalSeconds(local) * 1000 + static_cast<std::int64_t>(filetime / 10'000 % 1000);
}

std::vector<std::optional<std::int64_t>> LocalStartTimes(const vcam::ConsumersSnapshot& snapshot) {
    std::vector<std::optional<std::int64_t>> times;
    for (std::uint32_t i = 0; i < snapshot.count && i < vcam::kMaxConsumers; ++i) {
        times.push_back(LocalMsOf(snapshot.consumers[i].lastUsedStart));
    }
    return times;
}

}  // namespace orbelune
