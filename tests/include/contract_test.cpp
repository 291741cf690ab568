// The contract with the virtual camera: each block read back as its writer left it, and what a
// reader makes of a copy that no publication leaves. (Copies taken during a publication: the
// threaded snapshot_stress.)
#include "orbelune/vcam_contract.h"
#include "orbelune/vcam_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/bytes.h"

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
    // Another release's version, or another magic: a block the agent counts as missing.
    for (const auto& [magic, version] : {std::pair{0x4F425643u, 1u}, {0x4F425644u, 2u}}) {
        StampControlHeader(block.data(), 80, magic, version);
        EXPECT_FALSE(IsControlBlockValid(block.data(), 80) ||
                     ReadControlBlock(block.data(), 80)->valid);
    }
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
    // What no publication leaves, each alone: another magic or version, a count beyond the
    // slots, a format within the count without its rate's denominator.
    for (const auto& [at, value] :
         {std::pair{0, 0x4F425651}, {4, 2}, {12, 129}, {16 + 127 * 16 + 12, 0}}) {
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
    // A publication of no formats is no list a reader takes.
    WriteCapabilitiesBlock(block.data(), block.size(), formats.data(), 0, 0);
    EXPECT_EQ(JudgeCapabilitiesCopy(block.data()), SnapshotStatus::kRejected);
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

}  // namespace
}  // namespace orbelune::vcam
