// The contract with the virtual camera: each block read back as its writer left it, and what a
// reader makes of a copy taken at every point of a publication.
#include "orbelune/vcam_contract.h"
#include "orbelune/vcam_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/bytes.h"

namespace orbelune::vcam {
namespace {

TEST(VcamContractTest, ControlBlockRoundTrip) {
    std::vector<std::byte> block(80, std::byte{0xEE});
    const ControlView control = {block.data(), block.size()};  // the virtual camera's stamps
    StampPeerHeaders(control, {});
    StampDemand(control, 1001);
    StampConsumerStart(control, 1002);
    StampConsumerHeartbeat(control, 1003);
    for (const auto& [index, stored] : {std::pair{-3, 0u}, {2147483647, 2147483647u}, {7, 7u}}) {
        StoreControlCameraIndex(block.data(), index);
        EXPECT_EQ(ReadControlBlock(block.data(), block.size())->cameraIndex, stored);
    }
    const auto r = ReadControlBlock(block.data(), block.size());
    EXPECT_EQ(std::tie(r->valid, r->magic, r->version, r->demandTick, r->consumerStartTick,
                       r->consumerHeartbeatTick),
              std::tuple(true, 0x4F425643u, 2u, 1001u, 1002u, 1003u));
    // The virtual camera's own bytes (8-11, 32-47, 56-79) are never touched.
    EXPECT_EQ(std::memcmp(block.data(), "CVBO\2\0\0\0\xEE\xEE\xEE\xEE\7\0\0\0", 16), 0);
    EXPECT_EQ(std::count(block.begin() + 16, block.end(), std::byte{0xEE}), 16 + 24);
    EXPECT_TRUE(IsControlBlockValid(block.data(), 80) && !IsControlBlockValid(block.data(), 79) &&
                !ReadControlBlock(block.data(), 79));
    EXPECT_EQ(AgentCameraIndex(control), 7u);
    StopDemand(control);
    EXPECT_EQ(LoadU64(block, 16) | LoadU64(block, 24) | LoadU64(block, 48), 0u);
    StampControlHeader(block.data(), 80, 0x4F425643, 1);
    EXPECT_FALSE(IsControlBlockValid(block.data(), 80) ||
                 ReadControlBlock(block.data(), 80)->valid);
}

TEST(VcamContractTest, CapabilitiesBlockRoundTrip) {
    std::vector<std::byte> block(2068, std::byte{0xAB});
    std::vector<CameraCapability> formats;  // 130, each distinct in every field
    for (std::uint32_t i = 1; i <= 130; ++i) {
        formats.push_back({2 * i, 4 * i, i, 1000 + i});
    }
    WriteCapabilitiesBlock(block.data(), block.size(), formats.data(), formats.size(), -1);
    auto r = ReadCapabilitiesBlock(block.data(), block.size());
    EXPECT_EQ(std::tie(r->valid, r->magic, r->version, r->cameraIndex, r->count, r->sequence),
              std::tuple(true, 0x4F425650u, 1u, 0u, 128u, 0xABABABACu));
    EXPECT_EQ(r->entries, std::vector(formats.begin(), formats.begin() + 128));
    CapabilitiesSnapshot snapshot;
    const std::vector<std::byte> zeros(2072);  // a view too short, misaligned, not published
    for (const auto& [view, status] :
         {std::pair{CapabilitiesView{block.data(), 2068}, SnapshotStatus::kAccepted},
          {{block.data(), 2067}, SnapshotStatus::kSectionTooSmall},
          {{zeros.data() + 4, 2068}, SnapshotStatus::kSectionTooSmall},
          {{zeros.data(), 2068}, SnapshotStatus::kNotPublished}}) {
        EXPECT_EQ(SnapshotCapabilities(view, snapshot).status, status);
    }
    EXPECT_EQ(std::vector(snapshot.formats, snapshot.formats + snapshot.count), r->entries);
    // What no publication leaves, each alone: a count beyond the slots, a format within the
    // count without its rate's denominator.
    for (const auto& [at, value] : {std::pair{12, 129}, {16 + 127 * 16 + 12, 0}}) {
        std::vector<std::byte> copy = block;
        StoreU32(copy, at, value);
        EXPECT_EQ(JudgeCapabilitiesCopy(copy.data()), SnapshotStatus::kRejected);
    }

    // A shorter publication leaves nothing of the longer one; the sequence wraps.
    StoreU32(block, 2064, 0xFFFFFFFF);
    WriteCapabilitiesBlock(block.data(), block.size(), &formats[5], 3, 7);
    EXPECT_EQ(std::memcmp(block.data(), "PVBO\1\0\0\0\7\0\0\0\3\0\0\0\14\0\0\0\30\0\0\0", 24), 0);
    r = ReadCapabilitiesBlock(block.data(), block.size());
    EXPECT_EQ(r->entries, std::vector(formats.begin() + 5, formats.begin() + 8));
    EXPECT_EQ(r->sequence, 0u);
    EXPECT_EQ(std::count(block.begin() + 64, block.begin() + 2064, std::byte{0}), 2000);
    StoreU32(block, 76, 1);  // nor a byte in a slot beyond the count
    EXPECT_EQ(JudgeCapabilitiesCopy(block.data()), SnapshotStatus::kRejected);

    // Too short to be the block: nothing is written or read.
    WriteCapabilitiesBlock(block.data(), 2067, formats.data(), 1, 0);
    EXPECT_EQ(LoadU32(block, 2064), 0u);
    EXPECT_FALSE(ReadCapabilitiesBlock(block.data(), 2067));
}

TEST(VcamContractTest, ConsumersBlockRoundTrip) {
    std::vector<std::byte> block(608, std::byte{0xAA});
    StampConsumersHeader(block.data(), block.size());
    StoreU64(block, 16, 0);  // never written: no update tick
    EXPECT_EQ(JudgeConsumersCopy(block.data()), SnapshotStatus::kNotPublished);
    StoreU32(block, 600, 0xFFFFFFFE);
    // A name of 32 units and an identity of 64 bytes, each stored one short with its terminator.
    const std::u16string name = u"Ab\u00e9\u20ac" + std::u16string(26, u'n') + u"\U0001F600";
    const std::string identity = "Microsoft.App_" + std::string(49, 'x') + "y";
    const ConsumerSlot slots[] = {{name, identity, 1, 0x0102030405060708},
                                  {u"Zoom", "zoom.exe", 0, 2},
                                  {u"", "e.exe", 0, 3},  // a file named ".exe" gives no name
                                  {u"D", "d", 1, 4},
                                  {u"E", "e", 0, 5}};
    ASSERT_TRUE(WriteConsumerSlots(block.data(), block.size(), slots, 5));
    StampConsumersUpdate(block.data(), 123456789012);
    auto r = ReadConsumersBlock(block.data(), block.size());
    std::vector<ConsumerSlot> expected(slots, slots + 4);
    expected[0].displayName.pop_back();  // the low half of the pair; its high half stays
    expected[0].identity.pop_back();
    EXPECT_EQ(r->slots, expected);
    EXPECT_EQ(std::tie(r->valid, r->magic, r->version, r->count, r->updatedTick, r->sequence),
              std::tuple(true, 0x4F42434Fu, 1u, 4u, 123456789012u, 0xFFFFFFFFu));
    EXPECT_EQ(LoadU32(block, 12) & LoadU32(block, 604), 0xAAAAAAAAu);  // the peer's words
    ConsumersSnapshot snapshot;
    ASSERT_TRUE(SnapshotConsumers({block.data(), block.size()}, snapshot).Accepted());
    EXPECT_EQ(std::u16string(snapshot.consumers[0].displayName), expected[0].displayName);
    EXPECT_EQ(std::tie(snapshot.count, snapshot.updatedTick, snapshot.consumers[3].identity[0],
                       snapshot.consumers[2].displayName[0]),
              std::tuple(4u, 123456789012u, 'd', u'\0'));  // an empty name is a name
    // What no write leaves, each alone: a count beyond the slots, a slot beyond the count,
    // `packaged` 2, the reserved word set, no start time, the name's last unit set, a byte behind
    // the identity's terminator, an empty identity.
    const std::pair<size_t, int> kMarks[] = {{8, 5},   {8, 3},  {152, 2}, {156, 1},
                                             {304, 0}, {86, 1}, {242, 1}, {520, 0}};
    for (const auto& [at, value] : kMarks) {
        std::vector<std::byte> copy = block;
        copy[at] = std::byte(value);
        EXPECT_EQ(JudgeConsumersCopy(copy.data()), SnapshotStatus::kRejected) << at;
    }

    // A shorter list leaves nothing of the longer one; the sequence wraps.
    ASSERT_TRUE(WriteConsumerSlots(block.data(), block.size(), &slots[1], 1));
    StampConsumersUpdate(block.data(), 7);
    r = ReadConsumersBlock(block.data(), block.size());
    EXPECT_EQ(r->slots, std::vector<ConsumerSlot>{slots[1]});
    EXPECT_EQ(r->sequence, 0u);
    EXPECT_EQ(std::count(block.begin() + 24 + 144, block.begin() + 600, std::byte{0}), 432);
    // A block the virtual camera has not stamped as expected is not written at all.
    EXPECT_FALSE(WriteConsumerSlots(block.data(), 607, slots, 1) ||
                 ReadConsumersBlock(block.data(), 607));
    for (const char* header : {"OCBO\2\0\0\0", "OBCO\1\0\0\0"}) {
        std::memcpy(block.data(), header, 8);
        EXPECT_FALSE(WriteConsumerSlots(block.data(), block.size(), slots, 1));
    }
    EXPECT_EQ(LoadU32(block, 8), 1u);
}

// One store of a publication: the range it writes, from the next block or as zeros.
struct Store {
    size_t offset, size;
    bool zeros;
};

// The fate of a snapshot of the capabilities block taken while the writer, going from
// `previous` to `next`, is stopped after 0, 1, ... all of `stores`: R nothing (rejected, or not
// published yet), or accepted and read as the previous publication (O), the next one (N, its
// sequence aside) or neither (M).
std::string Fates(const std::vector<std::byte>& previous, const std::vector<std::byte>& next,
                  std::span<const Store> stores) {
    const auto key = [](const std::vector<std::byte>& block) {
        const auto r = ReadCapabilitiesBlock(block.data(), block.size());
        return std::tuple(r->cameraIndex, r->count, r->entries);
    };
    std::string fates;
    for (size_t k = 0; k <= stores.size(); ++k) {
        std::vector<std::byte> copy = previous;
        for (const Store& s : stores.first(k)) {
            for (size_t at = s.offset; at < s.offset + s.size; ++at) {
                copy[at] = s.zeros ? std::byte{0} : next[at];
            }
        }
        const char which = key(copy) == key(previous) ? 'O' : key(copy) == key(next) ? 'N' : 'M';
        fates += JudgeCapabilitiesCopy(copy.data()) == SnapshotStatus::kAccepted ? which : 'R';
    }
    return fates;
}

TEST(VcamContractTest, CapabilitiesCopiesAtEveryStoreOfAPublication) {
    // The writer's stores of a publication of two formats, in its order: the header, slot 0's
    // rate zeroed first and then every slot, each format with its denominator last, the
    // sequence.
    static const Store kStores[] = {
        {0, 4, false},   {4, 4, false},    {8, 4, false},    {12, 4, false},
        {28, 4, true},   {16, 2048, true}, {16, 12, false},  {28, 4, false},
        {32, 12, false}, {44, 4, false},   {2064, 4, false},
    };
    const CameraCapability kFormats[] = {{640, 480, 30, 1}, {320, 240, 15, 1}, {160, 120, 5, 1}};
    const CameraCapability kNext[] = {{1280, 720, 30, 1}, {0, 0, 10, 1}};  // a 0x0 type is listed
    // M is where nothing in the block tells a mix: the new camera index (and an unchanged count)
    // over the previous formats, until the first entry store.
    static const struct {
        size_t previousCount;  // of kFormats; 0: a block never published into
        std::int32_t previousIndex;
        std::string_view fates;
    } kCases[] = {
        {3, 0, "OOOMRRRRRRNN"},  // a shorter list: an old format stands beyond the new count
        {2, 0, "OOOMMRRRRRNN"},  // as many formats as before
        {1, 1, "OOOORRRRRRNN"},  // a longer list: its second slot is empty within the count
        {0, 0, "RRRRRRRRRRNN"},  // the first publication
    };
    for (const auto& c : kCases) {
        std::vector<std::byte> previous(2068);
        if (c.previousCount > 0) {
            WriteCapabilitiesBlock(previous.data(), 2068, kFormats, c.previousCount,
                                   c.previousIndex);
        }
        std::vector<std::byte> next = previous;
        WriteCapabilitiesBlock(next.data(), 2068, kNext, 2, 1);
        EXPECT_EQ(Fates(previous, next, kStores), c.fates) << c.previousCount;
    }
}

}  // namespace
}  // namespace orbelune::vcam
