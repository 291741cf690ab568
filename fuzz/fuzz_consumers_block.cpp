// The consumers block written from any records: NarrowToAscii keeps one ASCII byte per unit;
// every slot below the count has a terminated name and identity, every slot behind it is all
// zero, the count is the records' number capped at four, the sequence moves by one, and the
// peer's header and the reserved words are never written.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "common/bytes.h"
#include "consumers/consumers_block.h"
#include "fuzz/fuzz_support.h"

namespace {

std::u16string Text(FuzzedDataProvider& data) {
    std::u16string text(data.ConsumeIntegralInRange<size_t>(0, 80), u'\0');
    for (char16_t& unit : text) {
        unit = data.ConsumeIntegral<char16_t>();
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
    using namespace orbelune;
    FuzzedDataProvider data(bytes, size);
    std::vector<ConsumerRecord> records(data.ConsumeIntegralInRange<size_t>(0, 7));
    for (ConsumerRecord& record : records) {
        record.displayName = Text(data);
        record.identity = Text(data);
        record.packaged = data.ConsumeBool();
        record.lastUsedStart = data.ConsumeIntegral<std::uint64_t>();
        const std::string narrow = NarrowToAscii(record.identity);
        Require(narrow.size() == record.identity.size());
        for (const char c : narrow) {
            Require(static_cast<unsigned char>(c) < 0x80);
        }
    }

    // A block as the peer leaves it, with whatever an earlier write left in the slots.
    alignas(8) std::array<std::byte, kConsumersBlockSize> block;
    for (std::byte& b : block) {
        b = static_cast<std::byte>(data.ConsumeIntegral<std::uint8_t>());
    }
    const std::span<std::byte> view(block);
    StoreU32(view, kConsumersMagicOffset, kConsumersMagic);
    StoreU32(view, kConsumersVersionOffset, kConsumersVersion);
    const std::array<std::byte, kConsumersBlockSize> before = block;
    const std::uint32_t sequence = LoadU32(view, kConsumersSequenceOffset);

    Require(WriteConsumersBlock(view, records, 1234));
    const size_t count = std::min<size_t>(records.size(), kMaxConsumers);
    Require(LoadU32(view, kConsumersCountOffset) == count);
    Require(LoadU64(view, kConsumersUpdatedTickOffset) == 1234);
    Require(LoadU32(view, kConsumersSequenceOffset) == sequence + 1);
    for (const size_t offset :
         {kConsumersMagicOffset, kConsumersVersionOffset, size_t{12}, size_t{604}}) {
        Require(LoadU32(view, offset) == LoadU32(before, offset));
    }
    for (size_t i = 0; i < kMaxConsumers; ++i) {
        const auto slot =
            view.subspan(kConsumersEntriesOffset + i * kConsumerSlotSize, kConsumerSlotSize);
        if (i >= count) {
            for (const std::byte b : slot) {
                Require(b == std::byte{0});
            }
            continue;
        }
        const size_t lastUnit = kSlotDisplayNameOffset + 2 * (kSlotDisplayNameUnits - 1);
        Require(slot[lastUnit] == std::byte{0} && slot[lastUnit + 1] == std::byte{0});
        Require(slot[kSlotIdentityOffset + kSlotIdentityBytes - 1] == std::byte{0});
        Require(LoadU32(slot, kSlotPackagedOffset) == (records[i].packaged ? 1u : 0u));
        Require(LoadU32(slot, kSlotPackagedOffset + 4) == 0);
        Require(LoadU64(slot, kSlotLastUsedStartOffset) == records[i].lastUsedStart);
    }
    return 0;
}
