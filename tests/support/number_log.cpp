#include "number_log.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zeb::test {

namespace {

// The log from byte `from` on, up to and including its last newline.
std::string finished_lines(const std::string& path, std::streamoff from) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(from);
  std::ostringstream text;
  text << in.rdbuf();
  std::string lines = text.str();
  return lines.substr(0, lines.rfind('\n') + 1);
}

// Where the log's last 32 bytes begin: room for a finished number and a
// torn one after it.
std::streamoff tail_start(const std::string& path) {
  std::error_code error;
  auto size = static_cast<std::streamoff>(std::filesystem::file_size(path, error));
  return error || size < 32 ? 0 : size - 32;
}

}  // namespace

std::vector<int> logged_numbers(const std::string& path) {
  std::vector<int> numbers;
  std::istringstream in(finished_lines(path, 0));
  for (int n; in >> n;) numbers.push_back(n);
  return numbers;
}

int last_logged(const std::string& path) {
  std::string tail = finished_lines(path, tail_start(path));
  if (tail.empty()) return 0;
  tail.pop_back();
  return std::atoi(tail.c_str() + tail.rfind('\n') + 1);
}

void drop_torn_line(const std::string& path) {
  std::streamoff from = tail_start(path);
  std::error_code ignored;
  std::filesystem::resize_file(path, from + finished_lines(path, from).size(), ignored);
}

}  // namespace zeb::test
