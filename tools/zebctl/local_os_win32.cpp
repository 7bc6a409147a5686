#include "local_os.h"

#include <windows.h>

namespace zebctl {

EntryInfo entry_info(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return {EntryType::missing, 0};
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return {EntryType::other, 0};
  return {EntryType::regular, (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

// An anonymous pipe's writer learns that the reader is gone only by writing.
void report_broken_pipes() {
  // Windows raises no signal for a broken pipe: the write fails.
}

bool output_abandoned() {
  return false;
}

std::string library_load_error() {
  return "LoadLibrary failed with error " + std::to_string(::GetLastError());
}

}  // namespace zebctl
