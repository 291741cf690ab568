#include "agent/supervision_loop_win.h"

#include "config/settings_win.h"
#include "log/log_win.h"
#include "orbelune/vcam_agent.h"

namespace orbelune {
namespace {

// The block as it stands at this moment: mapped and stamped with the expected magic and
// version, or nothing. Asked anew before every use, so a block mapped or stamped in the middle
// of a pass counts from that use on.
void* ValidControlBlock(ControlBlockView& view) {
    if (!OpenControlBlock(view) || !vcam::IsControlBlockValid(view.view.get(), view.size)) {
        return nullptr;
    }
    return view.view.get();
}

}  // namespace

bool OpenControlBlock(ControlBlockView& view) noexcept {
    return OpenSharedSection(view, vcam::kControlSectionName, vcam::kControlBlockSize);
}

void RunSupervisionPass(AgentState& state) {
    const AgentSettings settings = ReadAgentSettings();
    // Real work only when a publication is due: the first pass that can open the block, and a
    // changed camera index. The index goes in as configured, negative or not.
    PublishCapabilities(state.capabilities, settings.cameraIndex);

    if (void* block = ValidControlBlock(state.controlBlock); block != nullptr) {
        vcam::StoreControlCameraIndex(block, settings.cameraIndex);
    }

    const std::uint64_t passStart = GetTickCount64();
    // The block asked for again, read once (its stamp and the three ticks), and only then the
    // clock that judges the ticks.
    const void* block =
        OpenControlBlock(state.controlBlock) ? state.controlBlock.view.get() : nullptr;
    const PeerSignals peer =
        ReadPeerSignals(block, state.controlBlock.size, [] { return GetTickCount64(); });
    // Every pass, whatever the producer's state; the refresh itself runs at most once a second.
    RefreshConsumers(state.consumers, peer.consumerActive, peer.referenceTick);

    ProducerProcess& producer = state.producer;
    // A failed wait counts as still running.
    const bool exited =
        producer.IsRunning() && WaitForSingleObject(producer.process.Get(), 0) == WAIT_OBJECT_0;
    const std::vector<PassStep> steps =
        PlanProducerSteps(state.loop, {.demand = peer.demand,
                                       .running = producer.IsRunning(),
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
