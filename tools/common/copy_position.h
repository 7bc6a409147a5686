#pragma once

namespace tools {

// The file in a master directory where `zebbridge in` keeps the stream
// position its copy of a channel has reached. It marks the channel as a
// copy, into which only the bridge publishes.
constexpr const char* kCopyPositionName = "bridge.position";

}  // namespace tools
