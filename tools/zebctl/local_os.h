#pragma once

#include <cstdint>
#include <string>

// The few operating-system services zebctl needs beyond the channel's own
// platform layer; one implementation file per operating system.
namespace zebctl {

enum class EntryType { missing, regular, other };

struct EntryInfo {
  EntryType type;
  uint64_t size;  // of a regular file
};

// What is at `path`, following links as opening it would, without opening it:
// a file a running master is writing is never touched.
EntryInfo entry_info(const std::string& path);

// A write to a pipe whose reader has gone fails with an error, which the
// command reports and ends on with its failure status, instead of killing
// the process with a signal.
void report_broken_pipes();

// True once standard output leads nowhere: the reading end of its pipe is
// closed, so nothing printed from now on can be read. Always false where the
// operating system cannot tell without writing.
bool output_abandoned();

// Why the library load just attempted on this thread failed, as the system
// tells it.
std::string library_load_error();

}  // namespace zebctl
