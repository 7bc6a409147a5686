#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "platform/tool_os.h"
#include "record_text.h"

namespace zebctl {

namespace {

[[noreturn]] void fail_writing() {
  std::string reason = errno != 0 ? std::strerror(errno) : "write error";
  std::clearerr(stdout);
  tools::fail("could not write to standard output: " + reason);
}

}  // namespace

void print_line(const std::string& line) {
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fputc('\n', stdout) == EOF ||
      std::fflush(stdout) != 0)
    fail_writing();
}

void print_record(int32_t number, const zeb::TradeRecord& record, bool json, const std::string& file) {
  print_line(json ? tools::record_json(number, record, file) : tools::record_line(number, record));
}

void check_output_open() {
  if (zeb::platform::output_abandoned()) tools::fail("standard output is closed: nothing printed now could be read");
}

void finish_output() {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail_writing();
}

}  // namespace zebctl
