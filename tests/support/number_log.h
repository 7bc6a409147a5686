#pragma once

#include <string>
#include <vector>

// The logs of record numbers that the multi-process tests' peers keep, one
// number a line. A peer killed while appending can leave its last line torn
// (the write stopped between two pages): a last line without its newline
// was never finished and counts for nothing.
namespace zeb::test {

// Every number on a finished line, in order.
std::vector<int> logged_numbers(const std::string& path);

// The number on the last finished line; 0 when there is none. Reads only the
// log's end, so it stays cheap on long logs.
int last_logged(const std::string& path);

// Cuts a torn last line off, so that the next append starts a line of its own.
void drop_torn_line(const std::string& path);

}  // namespace zeb::test
