#include "bridge.h"

// The benchmark's bridge rows where zebbridge is not built.
namespace zeb::bench {

BridgeFigures measure_bridge(const Medium&, const Medium&, const BridgePlan&) {
  BridgeFigures figures;
  figures.skipped = "zebbridge is not built (it needs libnats-dev and pkg-config)";
  return figures;
}

}  // namespace zeb::bench
