// The naming rules on any text: CleanVersionName keeps a part of it with no blanks at either end
// and cleans nothing more when run again; DerivePackageName keeps a part of it before any '_'
// with nothing after a last inner '.'; LookupPackagedName takes any text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include <string>

#include "consumers/app_identity.h"

// Ends the run when a property fails, so that libFuzzer keeps the input that broke it.
#define REQUIRE(condition) ((condition) ? void() : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
    using namespace orbelune;
    FuzzedDataProvider data(bytes, size);
    std::u16string text;
    while (data.remaining_bytes() >= 2) {
        // Mostly the characters the rules look at, so that the fuzzer reaches them often.
        static constexpr char16_t kInteresting[] = u" ()_.\u00a0\u3000aHelper gpu\u00e9";
        text += data.ConsumeBool() ? kInteresting[data.ConsumeIntegralInRange<size_t>(0, 18)]
                                   : data.ConsumeIntegral<char16_t>();
    }

    const std::u16string cleaned = CleanVersionName(text);
    REQUIRE(text.find(cleaned) != std::u16string::npos);
    REQUIRE(cleaned.empty() ||
            (!IsWindowsSpace(cleaned.front()) && !IsWindowsSpace(cleaned.back())));
    REQUIRE(CleanVersionName(cleaned) == cleaned);

    const std::u16string derived = DerivePackageName(text);
    REQUIRE(std::u16string_view(text).substr(0, text.find(u'_')).ends_with(derived));
    const size_t dot = derived.rfind(u'.');
    REQUIRE(derived.find(u'_') == std::u16string::npos &&
            (dot == std::u16string::npos || dot + 1 == derived.size()));
    static_cast<void>(LookupPackagedName(text));

    return 0;
}
