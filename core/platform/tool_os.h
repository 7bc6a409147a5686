#pragma once

#include <cstdint>
#include <string>

// The operating-system services the tools (zebctl, zebbridge, the demo) need
// beyond the channel's own (platform.h); one implementation file per
// operating system. The libraries never link them.
namespace zeb::platform {

// Has `on_stop` called with the signal's number when the user or the system
// asks the program to stop: SIGINT or SIGTERM; on Windows also Ctrl-Break,
// the console closing, the user logging off (unless the program runs as a
// service) and shutdown, where the handler then holds the process for a few
// seconds so it can finish what it is doing and return from main. `on_stop`
// may run in a signal handler or on a thread of its own: it only sets a flag.
void call_on_stop_request(void (*on_stop)(int signal));

enum class EntryType { missing, regular, other };

struct EntryInfo {
  EntryType type;
  uint64_t size;  // of a regular file
};

// What is at `path`, following links as opening it would, without opening it:
// a file a running master is writing is never touched.
EntryInfo entry_info(const std::string& path);

// A write to a pipe whose reader has gone fails with an error, which the
// program reports and ends on with its failure status, instead of killing
// the process with a signal.
void report_broken_pipes();

// True once standard output leads nowhere: the reading end of its pipe is
// closed, so nothing printed from now on can be read. Always false where the
// operating system cannot tell without writing.
bool output_abandoned();

// Why the library load just attempted on this thread failed, as the system
// tells it.
std::string library_load_error();

// Lets the calling thread's short sleeps end about when asked, for a loop
// that polls every few tens of microseconds while busy: Linux otherwise lets
// each sleep run up to 50 µs longer, to wake fewer threads in all. Windows
// sleeps whole ticks of its timer whatever is asked, and stays so.
void sharpen_pauses();

}  // namespace zeb::platform
