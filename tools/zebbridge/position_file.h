#pragma once

#include <cstdint>
#include <string>

#include "channel_paths.h"

namespace zebbridge {

// What the in bridge has copied: the channel it copies and the stream
// sequence of the last message it wrote (0 before the first). It lives in
// the master directory as "bridge.position", text "ID SEQUENCE\n": no
// number, so no follower takes it for a record, and outside the system
// directory, so nobody takes it for a participant.
struct Position {
  std::string channel;
  uint64_t sequence = 0;
};

enum class PositionRead { found, missing, unreadable };
PositionRead read_position(const zeb::ChannelPaths& paths, Position& position);

// Replaces the file in one step, through a temporary file beside it, so a
// crash leaves the old position or the new one.
bool write_position(const zeb::ChannelPaths& paths, const Position& position);

}  // namespace zebbridge
