#include "position_file.h"

#include <cstdlib>
#include <cstring>

#include "copy_position.h"
#include "file_calls.h"

namespace zebbridge {

namespace {

constexpr const char* kPositionTempName = "bridge.position.new";

}  // namespace

PositionRead read_position(const zeb::ChannelPaths& paths, Position& position) {
  zeb::Path path = paths.entry(tools::kCopyPositionName);
  if (!zeb::path_exists(path.c_str())) return PositionRead::missing;
  char text[256] = {};
  size_t got = 0;
  if (zeb::read_file_retried(path.c_str(), text, sizeof text - 1, &got) != zeb::FileResult::ok)
    return PositionRead::unreadable;
  text[got] = '\0';
  const char* space = std::strchr(text, ' ');
  if (space == nullptr || space == text || space[1] < '0' || space[1] > '9') return PositionRead::unreadable;
  char* end = nullptr;
  unsigned long long sequence = std::strtoull(space + 1, &end, 10);
  if (*end != '\n') return PositionRead::unreadable;
  position.channel.assign(text, static_cast<size_t>(space - text));
  position.sequence = sequence;
  return PositionRead::found;
}

bool write_position(const zeb::ChannelPaths& paths, const Position& position) {
  zeb::Path path = paths.entry(tools::kCopyPositionName);
  zeb::Path temp = paths.entry(kPositionTempName);
  std::string text = position.channel + " " + std::to_string(position.sequence) + "\n";
  return zeb::replace_file_contents(path.c_str(), temp.c_str(), text.data(), text.size()) == zeb::Replaced::done;
}

}  // namespace zebbridge
