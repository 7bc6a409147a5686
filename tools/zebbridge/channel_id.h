#pragma once

#include <string>

namespace zebbridge {

// A channel id names the channel on the NATS server: it is part of a stream
// name and of a subject, so it holds only letters, digits, '_' and '-'.
constexpr size_t kMaxChannelIdLength = 120;

// Empty when `id` may serve as a channel id; otherwise what is wrong with it.
std::string channel_id_problem(const std::string& id);

// The id a channel gets when none is given: the master name's bytes in
// lower-case hex, which any master name has and no two master names share.
std::string channel_id_of_master(const std::string& master);

}  // namespace zebbridge
