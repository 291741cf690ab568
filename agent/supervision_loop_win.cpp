#include "agent/supervision_loop_win.h"

#include "agent/control_block.h"
#include "config/settings.h"
#include "log/log.h"

namespace orbelune {
namespace {

// The block as it stands at this moment: mapped and stamped with the expected magic and
// version, or nothing. Asked anew before every use, so a block mapped or stamped in the middle
// of a pass counts from that use on.
std::span<std::byte> ValidControlBlock(ControlBlockView& view) {
    if (!OpenControlBlock(view) || !ControlBlockValid(view.Bytes())) {
        return {};
    }
    return view.Bytes();
}

}  // namespace

bool OpenControlBlock(ControlBlockView& view) noexcept {
    return OpenSharedSection(view, kControlBlockName, kControlBlockSize);
}

void RunSupervisionPass(AgentState& state) {
    const AgentSettings settings = ReadAgentSettings();
    // Real work only when a publication is due: the first pass that can open the block, and a
    // changed camera index. The index goes in as configured, negative or not.
    PublishCapabilities(state.capabilities, settings.cameraIndex);

    if (const auto block = ValidControlBlock(state.controlBlock); !block.empty()) {
        StoreControlCameraIndex(block, settings.cameraIndex);
    }

    const std::uint64_t passStart = GetTickCount64();
    bool demand = false;
    if (const auto block = ValidControlBlock(state.controlBlock); !block.empty()) {
        const std::uint64_t demandTick = LoadControlTick(block, kControlDemandTickOffset);
        const std::uint64_t startTick = LoadControlTick(block, kControlConsumerStartTickOffset);
        demand = IsDemand(demandTick, startTick, GetTickCount64());
    }
    std::uint64_t referenceTick = 0;
    if (const auto block = ValidControlBlock(state.controlBlock); !block.empty()) {
        referenceTick = LoadControlTick(block, kControlConsumerStartTickOffset);
    }
    bool consumerActive = false;
    if (const auto block = ValidControlBlock(state.controlBlock); !block.empty()) {
        consumerActive =
            IsFresh(LoadControlTick(block, kControlConsumerHeartbeatTickOffset), GetTickCount64());
    }
    // Every pass, whatever the producer's state; the refresh itself runs at most once a second.
    RefreshConsumers(state.consumers, consumerActive, referenceTick);

    ProducerProcess& producer = state.producer;
    // A failed wait counts as still running.
    const bool exited =
        producer.running() && WaitForSingleObject(producer.process.Get(), 0) == WAIT_OBJECT_0;
    const std::vector<PassStep> steps =
        PlanProducerSteps(state.loop, {.demand = demand,
                                       .running = producer.running(),
                                       .producerExited = exited,
                                       .enabled = settings.enabled,
                                       .passStart = passStart,
                                       .idleStopMs = settings.idleStopMs});
    for (const PassStep& step : steps) {
        switch (step.kind) {
            case PassStep::Kind::kLog:
                WriteLogLine(step.line);
                break;
            case PassStep::Kind::kStopProducer:
                StopProducer(producer);
                break;
            case PassStep::Kind::kStartProducer:
                StartProducer(producer, settings);
                break;
        }
    }
}

void RunSupervisionLoop(AgentState& state) {
    for (;;) {
        RunSupervisionPass(state);
        Sleep(kPassSleepMs);
    }
}

}  // namespace orbelune
