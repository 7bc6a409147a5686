#pragma once

// Control of the in-memory platform (fault_platform.cpp), an implementation
// of core/platform/platform.h for tests: a file tree and named counters held
// in memory, with the target platform's separator, sharing rule and counter
// lifetime, that can make any chosen platform call fail or be a process's
// last. Single-threaded; several processes are modelled by switching the
// calling process.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zeb::fault {

// The kinds of platform call that can be made to fail.
enum class Call {
  exists,          // path_exists reports no entry
  make_directory,  // make_directory fails
  listing_open,    // listing_open cannot start
  listing_next,    // listing_next cannot fetch the next entry
  write_open,      // write_file cannot open
  write_data,      // write_file opens (truncating) but writes only half the bytes
  read_open,       // read_file cannot open
  read_data,       // read_file fails after scribbling over the buffer
  replace,         // replace_file fails
  counter_open,    // counter_open fails
  counter_map,     // counter_map fails
  truncate,        // truncate_file fails
};
constexpr int kCallKinds = 12;
const char* call_name(Call kind);

// Forgets everything: the tree, the counters, the processes, the faults and
// the call counts.
void reset();

// The nth call of `kind` counted from the last reset (1 for the first) fails.
void fail_call(Call kind, int nth);
// The nth call of `kind` and every later one fail, until clear_faults().
void fail_calls_from(Call kind, int nth);
// The nth platform call of any kind counted from the last reset is the last
// thing its process does: the call has no effect (a file being written is
// left with half its bytes) and every later call of that process does
// nothing and fails, as if it had been killed.
void crash_at_call(int nth);
// Another program holds the file that the nth call of `kind` opens or
// replaces, and lets go after `tries` calls of that kind: from the nth on,
// `tries` calls in a row report a conflict. Kinds: write_open, read_open,
// replace, truncate.
void conflict_calls(Call kind, int nth, int tries);
// From now on nothing fails.
void clear_faults();

int calls(Call kind);  // calls of this kind since the last reset
int total_calls();     // platform calls of every kind since the last reset
int slept_ms();        // milliseconds the processes asked to sleep since the last reset
// The kind of the injected failure that happened since the last take_fired().
std::optional<Call> take_fired();

// Calls from now on are made by process `id`.
void set_process(int id);
// Whether process `id` reached the call it dies at.
bool dead(int id);
// The process has gone: the counters it holds are released and, if dead, it
// may start again under the same id.
void end_process(int id);

// The tree, for setting up and checking, without counting calls. Paths use
// the platform separator; the parent of the first component always exists.
void put_directory(const std::string& path);
void put_file(const std::string& path, const std::string& bytes);
void remove_entry(const std::string& path);
// Contents of a regular file; nothing for a directory or a missing entry.
std::optional<std::string> file(const std::string& path);
std::vector<std::string> entry_names(const std::string& directory);

// Another process holds the file open for reading or for writing, as the
// sharing rule sees it, until release(): opens and replaces it refuses
// report a conflict.
void hold(const std::string& path, bool writing);
void release(const std::string& path);

// The named counter's value while some process holds it.
std::optional<int32_t> counter_value(const std::string& name);
// Listings opened and not yet closed.
int open_listings();

}  // namespace zeb::fault
