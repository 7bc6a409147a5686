#pragma once

#include <cstdint>
#include <string>

#include "master.h"
#include "sqlite_queue.h"
#include "support/test_support.h"

namespace zeb::bench {

// Where a benchmark keeps its files: tmpfs, or the real disk under TMPDIR.
struct Medium {
  std::string label;
  std::string base;
};

// A channel under a fresh directory of the medium, with a master bound to it
// that stays alive, and with it the shared counter.
struct Channel {
  explicit Channel(const Medium& medium);

  test::TempDir dir;
  std::string root;
  std::string master;
  MasterState writer;

  std::string master_dir() const { return root + "/" + master; }
  std::string system_dir() const { return master_dir() + "/system"; }
  std::string index_path(const std::string& owner) const { return system_dir() + "/" + owner; }
};

// A channel that holds `size` consecutive records, beside an SQLite queue
// that holds as many.
struct FilledChannel {
  FilledChannel(const Medium& medium, int32_t size);

  int32_t size;
  Channel channel;
  SqliteQueue peer;
  std::string error;  // empty when both were filled
};

}  // namespace zeb::bench
