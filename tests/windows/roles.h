#pragma once

#include <string>

// The test program in a role, as a separate Windows process:
//   master ROOT MASTER FIRST LAST [EVENT]
//       publishes records FIRST..LAST (contents sample_record(n)); with EVENT,
//       keeps the library, and so the counter, loaded until that named event
//       is set.
//   paced ROOT MASTER LAST PAUSE_MS
//       publishes records 1..LAST, pausing PAUSE_MS milliseconds before each,
//       as a host trading along does.
//   publisher ROOT MASTER LAST FAILURES
//       publishes records 1..LAST as a careful host does, sending a record
//       again after each failed Write; writes the number of failed Writes to
//       the file FAILURES.
//   follower ROOT FOLLOWER MASTER LAST LOG [FAILURES]
//       reads, checks and commits records until record LAST, appending each
//       number to LOG before committing it, and committing again after a
//       failed Commit; fails on a garbled record or one out of order unless
//       FAILURES is given, which receives the number of failed Commits (the
//       log then shows what arrived).
//   scanner ROOT MASTER HOLD_MS EVENT
//       until that named event is set, opens every file of the channel that
//       is new or changed, as scanners and indexers do: for reading, sharing
//       it for reading only, holding it HOLD_MS milliseconds.
// Exit code 0 means success.
namespace zeb::wintest {

bool is_role(const std::string& word);
int run_role(int argc, char** argv);

}  // namespace zeb::wintest
