// FormatLogLine on any message and time: no sanitizer report, a line that ends in CR LF, and
// exactly one byte per UTF-16 unit of the message apart from each LF, which becomes CR LF.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "log/log.h"
#include "fuzz/fuzz_support.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::tm time = {};
    const bool validTime = data.ConsumeBool();
    if (validTime) {
        time.tm_year = data.ConsumeIntegralInRange(0, 9999 - 1900);
        time.tm_mon = data.ConsumeIntegralInRange(0, 11);
        time.tm_mday = data.ConsumeIntegralInRange(1, 31);
        time.tm_hour = data.ConsumeIntegralInRange(0, 23);
        time.tm_min = data.ConsumeIntegralInRange(0, 59);
        time.tm_sec = data.ConsumeIntegralInRange(0, 60);
    } else {
        // Whatever a broken conversion could leave: the line must still be whole.
        time.tm_year = data.ConsumeIntegral<int>();
        time.tm_mon = data.ConsumeIntegral<int>();
        time.tm_mday = data.ConsumeIntegral<int>();
        time.tm_hour = data.ConsumeIntegral<int>();
        time.tm_min = data.ConsumeIntegral<int>();
        time.tm_sec = data.ConsumeIntegral<int>();
    }
    std::u16string message;
    while (data.remaining_bytes() >= 2) {
        message += data.ConsumeIntegral<char16_t>();
    }

    const std::string line = orbelune::FormatLogLine(time, message);
    Require(line.size() >= 2 && line.ends_with("\r\n"));
    size_t lineFeeds = 0;
    for (const char16_t unit : message) {
        lineFeeds += unit == u'\n';
    }
    const size_t body = message.size() + lineFeeds + 2;  // the message, its CRs and the end
    Require(line.size() > body);
    const size_t start = line.size() - body;  // where the message begins
    Require(line[start - 1] == ' ');
    if (validTime) {
        Require(start == 20);  // "YYYY-MM-DD HH:MM:SS "
    }
    size_t at = start;
    for (const char16_t unit : message) {
        if (unit == u'\n') {
            Require(line.compare(at, 2, "\r\n") == 0);
            at += 2;
            continue;
        }
        const char expected = unit <= 0xFF ? static_cast<char>(unit) : '?';
        Require(line[at] == expected);
        ++at;
    }
    Require(at == line.size() - 2);
    return 0;
}
