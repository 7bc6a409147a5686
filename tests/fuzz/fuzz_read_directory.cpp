// Read over a master directory made of fuzzed entries (names, files of any
// size and contents, subdirectories), a fuzzed published count and fuzzed
// index files. Whatever it finds, Read must report one of its own results,
// and a record it returns must be the first 80 bytes of the first entry
// above the cursor, and not above the published count, that holds a whole
// record, with no entry below it that Read should have stopped at.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "fault_platform.h"
#include "follower.h"
#include "listing.h"

namespace {

using zeb::fault::Call;

const char* const kMasterDir = "R\\M";

struct Entry {
  bool directory;
  std::string bytes;
};

// What Read may change.
struct Seen {
  int32_t cursor;
  int32_t pending;
  zeb::TradeRecord received;
};

Seen seen(const zeb::FollowerState& state) {
  return {state.cursor, state.pending, state.received};
}

// What any Read must keep to, faults or not.
void check_outcome(const Seen& before, const zeb::FollowerState& after, int32_t result) {
  const char* message = after.error.message;
  if (after.cursor != before.cursor) std::abort();
  if (result == 1 && after.error.code == 0 && message[0] == '\0' && after.pending > before.cursor) return;
  if (result == 0 && after.error.code == 0 && message[0] == '\0') return;
  if (result != 0 || after.error.code != -1 || std::strncmp(message, "Read: ", 6) != 0) std::abort();
  if (after.pending != before.pending ||
      std::memcmp(&after.received, &before.received, sizeof after.received) != 0)
    std::abort();
}

// What Read must find when nothing fails: the smallest number above the
// cursor and up to the published count among entries it cannot pass over
// (directories and whole files; short files are passed over) decides.
void check_choice(const Seen& before, const zeb::FollowerState& after, int32_t result, int32_t published,
                  const std::map<std::string, Entry>& entries) {
  if (result == 0 && after.error.code == 0) {
    if (before.cursor != published) std::abort();
    return;
  }
  std::string message = after.error.message;
  if (before.cursor > published) {
    if (message != "Read: cursor " + std::to_string(before.cursor) + " is above the published count " +
                       std::to_string(published) + ".")
      std::abort();
    return;
  }
  int32_t first_stop = INT32_MAX;
  for (const auto& [name, entry] : entries) {
    int32_t number = zeb::parse_number(name.c_str());
    bool passed_over = !entry.directory && entry.bytes.size() < zeb::kRecordSize;
    bool readable = number > before.cursor && number <= published && !passed_over;
    if (readable && number < first_stop) first_stop = number;
  }
  if (message == "Read: unknown exception") {
    if (first_stop != INT32_MAX) std::abort();
    return;
  }
  for (const auto& [name, entry] : entries) {
    if (zeb::parse_number(name.c_str()) != first_stop) continue;
    if (entry.directory && message == "Read: could not open R\\M\\" + name + " file.") return;
    if (entry.directory || entry.bytes.size() < zeb::kRecordSize || result != 1 ||
        after.pending != first_stop)
      continue;
    zeb::TradeRecord expected;
    std::memcpy(&expected, entry.bytes.data(), sizeof expected);
    zeb::record_terminate_symbol(expected);
    if (std::memcmp(&expected, &after.received, sizeof expected) == 0) return;
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  zeb::fault::reset();
  for (const char* dir : {"R", kMasterDir, "R\\M\\system"}) zeb::fault::put_directory(dir);
  if (input.ConsumeBool()) zeb::fault::put_file("R\\M\\system\\F", input.ConsumeRandomLengthString(40));
  int32_t published = input.ConsumeIntegralInRange<int32_t>(-3, 40);

  std::map<std::string, Entry> entries;
  int count = input.ConsumeIntegralInRange(0, 24);
  for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
    std::string name = input.ConsumeRandomLengthString(12);
    bool directory = input.ConsumeIntegralInRange(0, 7) == 0;
    std::string bytes = directory ? "" : input.ConsumeRandomLengthString(100);
    // Names are single components; "system" is the real system directory.
    if (name.empty() || name == "." || name == ".." || name == "system" ||
        name.find_first_of(std::string("\\\0", 2)) != std::string::npos)
      continue;
    entries[name] = Entry{directory, bytes};
    std::string path = std::string(kMasterDir) + "\\" + name;
    if (directory)
      zeb::fault::put_directory(path);
    else
      zeb::fault::put_file(path, bytes);
  }

  // The master holds the counter at the fuzzed count.
  zeb::fault::set_process(1);
  zeb::platform::CounterOpen opened;
  zeb::platform::counter_exchange(
      zeb::platform::counter_map(zeb::platform::counter_open("zeb_M", kMasterDir, &opened)), published);
  zeb::fault::set_process(2);
  zeb::FollowerState state;
  if (zeb::follower_init(state, "R", "F", "M") != 1) return 0;
  for (int round = 0; round < 3; ++round) {
    // Now and then a platform call fails.
    if (input.ConsumeBool())
      zeb::fault::fail_call(Call(input.ConsumeIntegralInRange(0, zeb::fault::kCallKinds - 1)),
                            input.ConsumeIntegralInRange(1, 40));
    Seen before = seen(state);
    zeb::fault::take_fired();
    int32_t result = zeb::follower_read(state);
    bool faulty = zeb::fault::take_fired().has_value();
    if (zeb::fault::open_listings() != 0) std::abort();
    check_outcome(before, state, result);
    if (!faulty) check_choice(before, state, result, published, entries);
    zeb::fault::clear_faults();
    if (result == 1 && zeb::follower_commit(state) != 1) std::abort();
  }
  zeb::fault::end_process(1);
  return 0;
}
