// Index file text: any bytes must parse the way the standard strtol reads
// the first 31 of them (0 when there are no digits or the value leaves 32
// bits), through parse_number and through a file read with read_index; and
// every number written with write_index must read back as itself.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "index_file.h"
#include "listing.h"
#include "fault_platform.h"

namespace {

int32_t reference_value(const char* text) {
  // strtoll skips the same white space and takes the same sign and digits;
  // it saturates where parse_number gives 0.
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  // The index reader sees at most 31 bytes, and stops at a NUL.
  std::string text = bytes.substr(0, 31).c_str();
  if (zeb::parse_number(text.c_str()) != reference_value(text.c_str())) std::abort();

  zeb::fault::reset();
  zeb::fault::put_directory("R");
  zeb::fault::put_file("R\\i", bytes);
  zeb::IndexNumber loaded = zeb::read_index("R\\i");
  if (!loaded.known || loaded.value != reference_value(text.c_str())) std::abort();

  int32_t value = 0;
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
  zeb::ErrorState error;
  if (!zeb::write_index(error, "R\\i", "R\\.zebtmp-i", value) || zeb::read_index("R\\i").value != value)
    std::abort();
  if (*zeb::fault::file("R\\i") != std::to_string(value)) std::abort();
  // The temporary file is gone.
  if (zeb::fault::entry_names("R") != std::vector<std::string>{"i"}) std::abort();
  return 0;
}
