// The Windows test program: runs the suite, or plays one role of a
// multi-process case when its first argument names one (roles.h).
#include <gtest/gtest.h>
#include <windows.h>

#include "roles.h"

int main(int argc, char** argv) {
  // A crash ends the process with an exit code instead of a dialog.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (argc > 1 && zeb::wintest::is_role(argv[1])) return zeb::wintest::run_role(argc - 1, argv + 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
