#include "channels.h"

#include <cstdio>

namespace zeb::bench {

Channel::Channel(const Medium& medium)
    : dir(medium.base), root(dir / "root"), master(test::unique_name("bench")) {
  master_init(writer, root.c_str(), master.c_str());
}

FilledChannel::FilledChannel(const Medium& medium, int32_t size)
    : size(size), channel(medium), peer(channel.dir / "peer.db") {
  std::fprintf(stderr, "filling a channel of %d records on %s\n", static_cast<int>(size),
               medium.label.c_str());
  MasterState& writer = channel.writer;
  if (writer.error.code != 0) error = writer.error.message;
  for (int32_t n = 1; n <= size && error.empty(); ++n) {
    writer.staged.ticket = n;
    if (master_write(writer) != 1) error = writer.error.message;
  }
  if (error.empty() && !peer.fill(size)) error = peer.error();
}

}  // namespace zeb::bench
