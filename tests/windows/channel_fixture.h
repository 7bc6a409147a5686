#pragma once

#include <gtest/gtest.h>

#include <string>

#include "libraries.h"
#include "map_file.h"
#include "support/sample_record.h"
#include "win_support.h"

namespace zeb::wintest {

// A temporary root and a master name no other test uses, as Windows paths.
class ChannelTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root = dir / "root";
  std::string master = unique_name("m");

  std::string master_dir() const { return root + "\\" + master; }
  std::string system_dir() const { return master_dir() + "\\system"; }
  std::string index_path(const std::string& owner) const { return system_dir() + "\\" + owner; }
  std::string record_path(const std::string& name) const { return master_dir() + "\\" + name; }

  // Stages every field of sample_record(n) and publishes it.
  // Stages every field of sample_record(n) and publishes it.
  static void write_sample(const MasterApi& api, int n) {
    stage(api, test::sample_record(n));
    ASSERT_EQ(api.Write(), 1) << api.ErrorMsg();
  }

  // Sets the live counter "zeb_<master>" as a master would, holding it for
  // the rest of the test.
  void set_counter(int32_t value) {
    if (!counter_.is_open()) {
      ASSERT_EQ(counter_.Open(("zeb_" + master).c_str()), 1);
    }
    counter_.publish(value);
  }

 private:
  MapFile counter_;
};

}  // namespace zeb::wintest
