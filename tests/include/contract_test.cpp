// The contract with the virtual camera: each block read back through the virtual camera's calls
// as the agent's writer left it, and what a reader makes of a copy that no publication leaves.
// (Copies taken while one writer or two publish: the threaded snapshot_stress.)
#include "orbelune/vcam_agent.h"
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
    std::memcpy(block.data(), "CVBO\2\0\0\0", 8);  // the virtual camera's stamp
    const ControlView control = detail::ControlViews::Over(block.data(), block.size());
    StampDemand(control, 1001u);
    StampConsumerStart(control, std::uint64_t{1002});
    StampConsumerHeartbeat(control, 1003ull);
    for (const auto& [index, stored] :
         {std::pair{-3, 0u}, {1, 1u}, {2147483647, 2147483647u}, {7, 7u}}) {
        StoreControlCameraIndex(block.data(), index);
        EXPECT_EQ(AgentCameraIndex(control), stored);
    }
    EXPECT_EQ(AgentCameraIndex(detail::ControlViews::Over(block.data(), 79)), 0u);  // too small
    const auto r = ReadControlBlock(block.data(), block.size());
    EXPECT_EQ(std::tie(r->valid, r->magic, r->version, r->cameraIndex, r->demandTick,
                       r->consumerStartTick, r->consumerHeartbeatTick),
              std::tuple(true, 0x4F425643u, 2u, 7u, 1001u, 1002u, 1003u));
    // The virtual camera's own bytes (8-11, 32-47, 56-79) are never touched.
    EXPECT_EQ(std::memcmp(block.data(), "CVBO\2\0\0\0\xEE\xEE\xEE\xEE\7\0\0\0", 16), 0);
    EXPECT_EQ(std::count(block.begin() + 16, block.end(), std::byte{0xEE}), 16 + 24);
    EXPECT_TRUE(IsControlBlockValid(block.data(), 80) && !IsControlBlockValid(block.data(), 79) &&
                !ReadControlBlock(block.data(), 79) && !ReadControlBlock(block.data() + 4, 80));
    StopDemand(control);
    EXPECT_EQ(LoadU64(block, 16) | LoadU64(block, 24) | LoadU64(block, 48), 0u);
}

TEST(VcamContractTest, CapabilitiesBlockRoundTrip) {
    std::vector<std::byte> block(2068, std::byte{0xAB});
    std::vector<CameraCapability> formats;  // 130, each distinct in every field
    for (std::uint32_t i = 1; i <= 130; ++i) {
        formats.push_back({2 * i, 4 * i, i, 1000 + i});
    }
    const CapabilitiesView view = {block.data(), block.size()};
    LatestSnapshot<CapabilitiesSnapshot> latest;
    const CapabilitiesSnapshot& s = latest.snapshot;
    const auto taken = [&] { return std::vector(s.formats, s.formats + s.count); };
    WriteCapabilitiesBlock(block.data(), block.size(), &formats[5], 3, 1);  // over 0xAB bytes
    EXPECT_EQ(std::memcmp(block.data(), "PVBO\1\0\0\0\1\0\0\0\3\0\0\0\14\0\0\0\30\0\0\0", 24), 0);
    EXPECT_EQ(std::count(block.begin() + 64, block.begin() + 2064, std::byte{0}), 2000);
    ASSERT_TRUE(TakeWhenChanged(view, latest));
    EXPECT_EQ(taken(), std::vector(formats.begin() + 5, formats.begin() + 8));
    using enum SnapshotStatus;
    // What no publication leaves, each alone: another magic, a count beyond the slots, a format
    // within the count without a rate, a byte beyond the count.
    for (const auto& [at, value] :
         {std::pair{0, 0x4F425651}, {12, 129}, {16 + 2 * 16 + 12, 0}, {16 + 3 * 16 + 12, 1}}) {
        std::vector<std::byte> copy = block;
        StoreU32(copy, at, value);
        EXPECT_EQ(JudgeCapabilitiesCopy(copy.data()), kRejected) << at;
    }
    // The first 128 of 130, a negative camera index as 0; the same again is no change, other
    // formats are, and the sequence wraps.
    WriteCapabilitiesBlock(block.data(), block.size(), formats.data(), formats.size(), -1);
    ASSERT_TRUE(TakeWhenChanged(view, latest));
    EXPECT_EQ(taken(), std::vector(formats.begin(), formats.begin() + 128));
    StoreU32(block, 2064, 0xFFFFFFFF);
    WriteCapabilitiesBlock(block.data(), block.size(), formats.data(), 128, 0);
    EXPECT_FALSE(TakeWhenChanged(view, latest));
    std::swap(formats[0], formats[128]);  // only the first differs
    WriteCapabilitiesBlock(block.data(), block.size(), formats.data(), 128, 0);
    ASSERT_TRUE(TakeWhenChanged(view, latest));
    EXPECT_EQ(taken(), std::vector(formats.begin(), formats.begin() + 128));
    EXPECT_EQ(std::tie(s.sequence, s.cameraIndex), std::tuple(1u, 0u));
    WriteCapabilitiesBlock(block.data(), 2067, formats.data(), 1, 0);  // too short: untouched
    EXPECT_EQ(LoadU32(block, 2064), 1u);
}

TEST(VcamContractTest, ConsumersBlockRoundTrip) {
    std::vector<std::byte> block(608);
    const ConsumersView view = {block.data(), block.size()};
    // Nobody has stamped it, or the agent has not written it yet: not published, either way.
    EXPECT_EQ(JudgeConsumersCopy(block.data()), SnapshotStatus::kNotPublished);
    std::fill(block.begin(), block.end(), std::byte{0xAA});
    std::memcpy(block.data(), "OCBO\1\0\0\0\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\0\0\0\0\0\0\0\0", 24);
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
    std::vector<ConsumerSlot> expected(slots, slots + 4);
    expected[0].displayName.pop_back();  // the low half of the pair; its high half stays
    expected[0].identity.pop_back();
    LatestSnapshot<ConsumersSnapshot> latest;
    const ConsumersSnapshot& s = latest.snapshot;
    const auto taken = [&] {
        std::vector<ConsumerSlot> list;
        for (const ConsumerEntry& e : std::vector(s.consumers, s.consumers + s.count)) {
            list.push_back({e.displayName, e.identity, e.packaged, e.lastUsedStart});
        }
        return list;
    };
    ASSERT_TRUE(WriteConsumerSlots(block.data(), block.size(), slots, 5));
    StampConsumersUpdate(block.data(), 123456789012);
    ASSERT_TRUE(TakeWhenChanged(view, latest));
    EXPECT_EQ(taken(), expected);
    EXPECT_EQ(std::tie(s.updatedTick, s.sequence), std::tuple(123456789012u, ~0u));
    // The agent runs while it rewrote the block within 2500 ms of the clock reading, or after it.
    using enum AgentPresence;
    EXPECT_EQ(std::vector({CheckAgent({}, view, 123456789011u), CheckAgent({}, view, 123456791512u),
                           CheckAgent({}, view, 123456791513u), CheckAgent({}, {}, 1u)}),
              std::vector({kRunning, kRunning, kStopped, kNone}));
    EXPECT_EQ(LoadU32(block, 12) & LoadU32(block, 604), 0xAAAAAAAAu);  // the peer's words
    // What no write leaves, each alone: a count beyond the slots, a slot beyond the count,
    // `packaged` 2, the reserved word set, no start time, the name's last unit set, a byte behind
    // the identity's terminator, an empty identity, a version without its magic's.
    const std::pair<size_t, int> kMarks[] = {{8, 5},  {8, 3},   {152, 2}, {156, 1}, {304, 0},
                                             {86, 1}, {242, 1}, {520, 0}, {4, 0}};
    for (const auto& [at, value] : kMarks) {
        std::vector<std::byte> copy = block;
        copy[at] = std::byte(value);
        EXPECT_EQ(JudgeConsumersCopy(copy.data()), SnapshotStatus::kRejected) << at;
    }
    // The same list again is no change, another is; a shorter one leaves nothing of the longer.
    ASSERT_TRUE(WriteConsumerSlots(block.data(), block.size(), slots, 5));
    StampConsumersUpdate(block.data(), 123456790012);
    EXPECT_FALSE(TakeWhenChanged(view, latest));
    for (const std::size_t count : {4, 1}) {  // as many others, then fewer
        ASSERT_TRUE(WriteConsumerSlots(block.data(), block.size(), &slots[1], count));
        StampConsumersUpdate(block.data(), 123456791012);
        ASSERT_TRUE(TakeWhenChanged(view, latest));
        EXPECT_EQ(taken(), std::vector(&slots[1], &slots[1] + count));
    }
    StoreU64(block, 24 + 136, 9);  // only a start time moves, under the next sequence
    StoreU32(block, 600, LoadU32(block, 600) + 1);
    EXPECT_TRUE(TakeWhenChanged(view, latest) && s.consumers[0].lastUsedStart == 9 &&
                s.sequence == 3);
    // More writes than one agent makes in the update tick's span, or a tick gone back.
    ConsumersSnapshot later = s;
    const auto several = [&](std::uint32_t writes, std::uint64_t ms) {
        std::tie(later.sequence, later.updatedTick) =
            std::tuple(s.sequence + writes, s.updatedTick + ms);
        return HasSeveralWriters(s, later);
    };
    EXPECT_EQ(std::vector({several(3, 0), several(4, 0), several(9, 5999), several(9, 6000),
                           several(1, ~0ull), several(0, ~0ull)}),
              std::vector({false, true, true, false, true, false}));
    EXPECT_EQ(std::count(block.begin() + 24 + 144, block.begin() + 600, std::byte{0}), 432);
    // A block too short, or not stamped as the virtual camera stamps it, is not written at all.
    EXPECT_FALSE(WriteConsumerSlots(block.data(), 607, slots, 2) || LoadU32(block, 8) != 1);
    for (const char* header : {"OCBO\2\0\0\0", "OBCO\1\0\0\0"}) {
        std::memcpy(block.data(), header, 8);
        EXPECT_FALSE(WriteConsumerSlots(block.data(), block.size(), slots, 2) ||
                     LoadU32(block, 8) != 1);
    }
}

}  // namespace
}  // namespace orbelune::vcam
