#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shared_counter.h"
#include "support/files.h"
#include "support/sample_record.h"
#include "trade_record.h"

namespace zeb::test {

// A temporary root and a master name that no other test uses.
class ChannelTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root = dir / "root";
  std::string master = unique_name("m");

  std::string master_dir() const { return join(root, master); }
  std::string system_dir() const { return join(master_dir(), "system"); }
  std::string index_path(const std::string& owner) const { return join(system_dir(), owner); }
  std::string record_path(const std::string& name) const { return join(master_dir(), name); }

  // What a process that joins the master's counter reads there now.
  int32_t published() const {
    SharedCounter counter;
    EXPECT_TRUE(counter.open(("zeb_" + master).c_str(), dir.path().c_str()));
    return counter.read();
  }
};

}  // namespace zeb::test
