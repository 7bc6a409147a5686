#pragma once

#include <string>

// The test program in a role, as a separate Windows process:
//   master ROOT MASTER FIRST LAST [EVENT]
//       publishes records FIRST..LAST (contents sample_record(n)); with EVENT,
//       keeps the library, and so the counter, loaded until that named event
//       is set.
//   follower ROOT FOLLOWER MASTER LAST LOG
//       reads, checks and commits records until record LAST, appending each
//       number to LOG before committing it; fails on a garbled record or one
//       out of order.
// Exit code 0 means success.
namespace zeb::wintest {

bool is_role(const std::string& word);
int run_role(int argc, char** argv);

}  // namespace zeb::wintest
