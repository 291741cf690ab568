// The virtual camera's calls as its team writes them, compiled by the Windows builds. Built with
// TRAP n, line n is a mistake that must not compile; test peer_trap_n expects its error.
#include <windows.h>

#include "orbelune/vcam_peer_win.h"

namespace vcam = orbelune::vcam;

unsigned PeerCalls(const void* readOnly, std::size_t size) {  // a read-only mapping
    const vcam::CreatedSections created = vcam::OpenOrCreatePeerSections(vcam::kLocalPrefix);
#if TRAP == 1  // a control view made by hand over any memory
    const vcam::ControlView control{const_cast<void*>(readOnly), size};
#else
    const vcam::ControlView control = created.sections.Control();
#endif
#if TRAP == 2  // a view of sections unmapped at the end of the statement
    const vcam::ConsumersView consumers =
        vcam::OpenOrCreatePeerSections(vcam::kLocalPrefix).sections.Consumers();
#else
    const vcam::ConsumersView consumers = created.sections.Consumers();
#endif
#if TRAP == 3  // a negative tick
    vcam::StampDemand(control, -1);
#else
    vcam::StampDemand(control, GetTickCount64());
#endif
    static vcam::LatestSnapshot<vcam::CapabilitiesSnapshot> formats;
    const bool changed = vcam::TakeWhenChanged(vcam::CapabilitiesView{readOnly, size}, formats);
    const auto capabilities = created.sections.Capabilities();
    return static_cast<unsigned>(vcam::CheckAgent(capabilities, consumers, ~0ull)) + changed;
}
