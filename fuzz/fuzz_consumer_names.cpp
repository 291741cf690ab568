// Any text as an application's version name, package family name, display name and identity:
// CleanVersionName keeps a part of it with no blanks at either end and cleans nothing more when
// run again; DerivePackageName keeps a part of it before any '_' with nothing after a last
// inner '.'; LookupPackagedName names only known apps; and the consumers block written from
// records made of it holds every slot below the count terminated and every one behind it zero,
// the count capped at four, the sequence one further, the peer's header and the reserved words
// untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "consumers/app_identity.h"
#include "consumers/consumers_block.h"
#include "fuzz/fuzz_support.h"

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
    Require(text.find(cleaned) != std::u16string::npos);
    Require(cleaned.empty() ||
            (!IsWindowsSpace(cleaned.front()) && !IsWindowsSpace(cleaned.back())));
    Require(CleanVersionName(cleaned) == cleaned);

    const std::u16string derived = DerivePackageName(text);
    Require(std::u16string_view(text).substr(0, text.find(u'_')).ends_with(derived));
    const size_t dot = derived.rfind(u'.');
    Require(derived.find(u'_') == std::u16string::npos &&
            (dot == std::u16string::npos || dot + 1 == derived.size()));
    if (const auto known = LookupPackagedName(text)) {
        Require(*known == u"Microsoft Teams" || *known == u"Windows Camera" ||
                *known == u"WhatsApp");
    }

    std::vector<ConsumerRecord> records(text.size() % 7);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i] = {text.substr(i), text.substr(text.size() / (i + 1)), i % 2 == 1, ~i};
        Require(NarrowToAscii(records[i].identity).size() == records[i].identity.size());
    }
    alignas(8) std::array<std::byte, kConsumersBlockSize> block;
    block.fill(std::byte{0xAA});
    StoreU32(block, kConsumersMagicOffset, kConsumersMagic);
    StoreU32(block, kConsumersVersionOffset, kConsumersVersion);
    const std::array<std::byte, kConsumersBlockSize> before = block;
    Require(WriteConsumersBlock(block, records, 1234));
    const size_t count = std::min<size_t>(records.size(), kMaxConsumers);
    Require(LoadU32(block, kConsumersCountOffset) == count);
    Require(LoadU32(block, kConsumersSequenceOffset) == 0xAAAAAAAB);
    for (const size_t offset : {size_t{0}, size_t{4}, size_t{12}, size_t{604}}) {
        Require(LoadU32(block, offset) == LoadU32(before, offset));
    }
    for (size_t i = 0; i < kMaxConsumers; ++i) {
        const auto slot = std::span(block).subspan(kConsumersEntriesOffset + i * kConsumerSlotSize,
                                                   kConsumerSlotSize);
        if (i >= count) {
            Require(std::all_of(slot.begin(), slot.end(),
                                [](std::byte b) { return b == std::byte{}; }));
            continue;
        }
        const size_t lastUnit = kSlotDisplayNameOffset + 2 * (kSlotDisplayNameUnits - 1);
        Require(slot[lastUnit] == std::byte{0} && slot[lastUnit + 1] == std::byte{0});
        Require(slot[kSlotIdentityOffset + kSlotIdentityBytes - 1] == std::byte{0});
        for (size_t b = 0; b < kSlotIdentityBytes; ++b) {
            Require(std::to_integer<unsigned>(slot[kSlotIdentityOffset + b]) < 0x80);
        }
        Require(LoadU32(slot, kSlotPackagedOffset) == (records[i].packaged ? 1u : 0u));
        Require(LoadU32(slot, kSlotPackagedOffset + 4) == 0);
        Require(LoadU64(slot, kSlotLastUsedStartOffset) == records[i].lastUsedStart);
    }
    return 0;
}
