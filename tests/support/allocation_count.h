#pragma once

namespace zeb::test {

// How many times the program has called operator new so far. Only a program
// that links allocation_count.cpp, which replaces operator new, counts.
long allocation_count();

}  // namespace zeb::test
