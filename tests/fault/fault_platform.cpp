// The channel's operating-system services in memory, with faults on demand
// (see fault_platform.h). It models the target platform: backslash paths,
// single-level directory creation, listings that include "." and "..",
// the sharing rule, and named counters that vanish with their last holder.
#include "fault_platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/platform.h"

namespace zeb::platform {

struct Listing {
  std::vector<std::string> names;
  size_t next = 0;
  bool broken = false;
};

struct Counter {
  std::string name;
  int owner;
  bool released = false;
};

struct FileLock {
  std::string path;
  int owner;
};

}  // namespace zeb::platform

namespace zeb::fault {

namespace {

struct Node {
  bool directory;
  std::string bytes;
};

struct Block {
  std::unique_ptr<int32_t> value = std::make_unique<int32_t>(0);
  int holders = 0;
  const platform::Counter* master = nullptr;  // the holder with the master's claim
};

struct World {
  std::map<std::string, Node> tree;
  std::map<std::string, bool> held;  // path -> held for writing
  std::map<std::string, Block> blocks;
  std::vector<std::unique_ptr<platform::Counter>> handles;
  std::map<std::string, std::unique_ptr<platform::FileLock>> locks;  // by path
  std::set<platform::Listing*> listings;
  std::array<int, kCallKinds> counts = {};
  std::array<std::set<int>, kCallKinds> failing;
  std::array<int, kCallKinds> failing_from = {};  // 0: none
  std::array<int, kCallKinds> conflict_from = {};  // 0: none
  std::array<int, kCallKinds> conflict_tries = {};
  int total = 0;
  int slept = 0;
  int crash_at = 0;
  int process = 0;
  std::set<int> dead;
  std::optional<Call> fired;
};

World& world() {
  static World* instance = new World;
  return *instance;
}

int index_of(Call kind) {
  return static_cast<int>(kind);
}

// Counts a platform call. False when the calling process is dead or dies
// at this very call: the call must then have no effect.
bool alive_for_call() {
  World& w = world();
  ++w.total;
  if (w.dead.count(w.process) != 0) return false;
  if (w.crash_at != 0 && w.total == w.crash_at) {
    w.dead.insert(w.process);
    return false;
  }
  return true;
}

// Counts a call of a kind that can be made to fail; true when it must fail.
bool fails(Call kind) {
  World& w = world();
  int count = ++w.counts[index_of(kind)];
  int from = w.failing_from[index_of(kind)];
  if (w.failing[index_of(kind)].count(count) == 0 && (from == 0 || count < from)) return false;
  w.fired = kind;
  return true;
}

std::string parent_of(const std::string& path) {
  size_t separator = path.rfind(platform::kPathSeparator);
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

bool is_directory(const std::string& path) {
  if (path.empty()) return true;
  auto found = world().tree.find(path);
  return found != world().tree.end() && found->second.directory;
}

Node* regular_file(const std::string& path) {
  auto found = world().tree.find(path);
  return found == world().tree.end() || found->second.directory ? nullptr : &found->second;
}

// Counts a call of a kind that can meet a conflict, after fails() passed it;
// true when an injected conflict refuses it.
bool conflicts(Call kind) {
  World& w = world();
  int count = w.counts[index_of(kind)];
  int from = w.conflict_from[index_of(kind)];
  return from != 0 && count >= from && count < from + w.conflict_tries[index_of(kind)];
}

bool held(const std::string& path) {
  return world().held.count(path) != 0;
}

bool held_for_writing(const std::string& path) {
  auto found = world().held.find(path);
  return found != world().held.end() && found->second;
}

void release_counter(platform::Counter* counter) {
  if (counter->released) return;
  counter->released = true;
  auto block = world().blocks.find(counter->name);
  if (block->second.master == counter) block->second.master = nullptr;
  if (--block->second.holders == 0) world().blocks.erase(block);
}

}  // namespace

const char* call_name(Call kind) {
  static const char* const names[kCallKinds] = {
      "exists",  "make_directory", "listing_open", "listing_next", "write_open",  "write_data",
      "read_open", "read_data",    "replace",      "counter_open", "counter_map", "truncate"};
  return names[index_of(kind)];
}

void reset() {
  World& w = world();
  for (platform::Listing* listing : w.listings) delete listing;
  w = World();
}

void fail_call(Call kind, int nth) {
  world().failing[index_of(kind)].insert(nth);
}

void fail_calls_from(Call kind, int nth) {
  world().failing_from[index_of(kind)] = nth;
}

void conflict_calls(Call kind, int nth, int tries) {
  world().conflict_from[index_of(kind)] = nth;
  world().conflict_tries[index_of(kind)] = tries;
}

void crash_at_call(int nth) {
  world().crash_at = nth;
}

void clear_faults() {
  World& w = world();
  for (std::set<int>& calls : w.failing) calls.clear();
  w.failing_from = {};
  w.conflict_from = {};
  w.crash_at = 0;
}

int calls(Call kind) {
  return world().counts[index_of(kind)];
}

int total_calls() {
  return world().total;
}

int slept_ms() {
  return world().slept;
}

std::optional<Call> take_fired() {
  std::optional<Call> fired = world().fired;
  world().fired.reset();
  return fired;
}

void set_process(int id) {
  world().process = id;
}

bool dead(int id) {
  return world().dead.count(id) != 0;
}

void end_process(int id) {
  World& w = world();
  for (const auto& counter : w.handles)
    if (counter->owner == id) release_counter(counter.get());
  for (auto lock = w.locks.begin(); lock != w.locks.end();)
    lock = lock->second->owner == id ? w.locks.erase(lock) : std::next(lock);
  w.dead.erase(id);
}

void put_directory(const std::string& path) {
  world().tree[path] = Node{true, {}};
}

void put_file(const std::string& path, const std::string& bytes) {
  world().tree[path] = Node{false, bytes};
}

void remove_entry(const std::string& path) {
  world().tree.erase(path);
}

std::optional<std::string> file(const std::string& path) {
  Node* node = regular_file(path);
  if (node == nullptr) return std::nullopt;
  return node->bytes;
}

std::vector<std::string> entry_names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& [path, node] : world().tree)
    if (parent_of(path) == directory) names.push_back(path.substr(directory.size() + 1));
  return names;
}

void hold(const std::string& path, bool writing) {
  world().held[path] = writing;
}

void release(const std::string& path) {
  world().held.erase(path);
}

std::optional<int32_t> counter_value(const std::string& name) {
  auto found = world().blocks.find(name);
  if (found == world().blocks.end()) return std::nullopt;
  return *found->second.value;
}

int open_listings() {
  return static_cast<int>(world().listings.size());
}

}  // namespace zeb::fault

namespace zeb::platform {

using fault::Call;
using fault::world;

const bool kCounterNameRemovable = false;
const char kPathSeparator = '\\';

bool path_exists(const char* path) {
  if (!fault::alive_for_call() || fault::fails(Call::exists)) return false;
  return world().tree.count(path) != 0;
}

MakeDirectory make_directory(const char* path, NewDirectory) {
  if (!fault::alive_for_call() || fault::fails(Call::make_directory)) return MakeDirectory::failed;
  if (world().tree.count(path) != 0) return MakeDirectory::already_exists;
  if (!fault::is_directory(fault::parent_of(path))) return MakeDirectory::failed;
  fault::put_directory(path);
  return MakeDirectory::created;
}

DirectoryStatus directory_status(const char* path) {
  // Access is not modelled: a directory that exists is the channel's.
  return path_exists(path) ? DirectoryStatus::present : DirectoryStatus::missing;
}

bool stored_name(const char* path, char* name, size_t size) {
  // Names in memory keep their case and have no aliases.
  if (!fault::alive_for_call() || world().tree.count(path) == 0) return false;
  std::string last = std::string(path).substr(fault::parent_of(path).size() + 1);
  if (last.size() >= size) return false;
  std::memcpy(name, last.c_str(), last.size() + 1);
  return true;
}

bool same_name(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

size_t whole_characters(const char* text, size_t limit) {
  // Single bytes only.
  return strnlen(text, limit);
}

Listing* listing_open(const char* directory) {
  if (!fault::alive_for_call() || fault::fails(Call::listing_open)) return nullptr;
  if (directory[0] == '\0' || !fault::is_directory(directory)) return nullptr;
  Listing* listing = new Listing;
  // Newest name first, as some file systems list: nothing may rely on the
  // listing being sorted.
  listing->names = fault::entry_names(directory);
  std::sort(listing->names.rbegin(), listing->names.rend());
  listing->names.insert(listing->names.begin(), {".", ".."});
  world().listings.insert(listing);
  return listing;
}

const char* listing_next(Listing* listing) {
  if (!fault::alive_for_call() || fault::fails(Call::listing_next)) {
    listing->broken = true;
    return nullptr;
  }
  if (listing->next == listing->names.size()) return nullptr;
  return listing->names[listing->next++].c_str();
}

bool listing_broken(Listing* listing) {
  return listing->broken;
}

void listing_close(Listing* listing) {
  world().listings.erase(listing);
  delete listing;
}

FileResult write_file(const char* path, const void* data, size_t size, Existing) {
  const char* bytes = static_cast<const char*>(data);
  bool fits = fault::is_directory(fault::parent_of(path)) && !fault::is_directory(path);
  bool dies_here = world().crash_at == world().total + 1;
  if (!fault::alive_for_call()) {
    // Killed while writing: the file is there, truncated, half written.
    if (dies_here && fits && !fault::held(path)) fault::put_file(path, std::string(bytes, size / 2));
    return FileResult::open_failed;
  }
  if (fault::fails(Call::write_open) || !fits) return FileResult::open_failed;
  if (fault::conflicts(Call::write_open) || fault::held(path)) return FileResult::conflict;
  if (fault::fails(Call::write_data)) {
    fault::put_file(path, std::string(bytes, size / 2));
    return FileResult::io_failed;
  }
  fault::put_file(path, std::string(bytes, size));
  return FileResult::ok;
}

FileResult read_file(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                     ReadSharing sharing) {
  *bytes_read = 0;
  if (!fault::alive_for_call() || fault::fails(Call::read_open)) return FileResult::open_failed;
  fault::Node* node = fault::regular_file(path);
  if (node == nullptr) return FileResult::open_failed;
  if (fault::conflicts(Call::read_open) ||
      (sharing == ReadSharing::deny_writers && fault::held_for_writing(path)))
    return FileResult::conflict;
  if (fault::fails(Call::read_data)) {
    // What a failed read leaves in the buffer is anybody's guess.
    std::memset(buffer, 0xA5, capacity);
    return FileResult::io_failed;
  }
  *bytes_read = std::min(capacity, node->bytes.size());
  std::memcpy(buffer, node->bytes.data(), *bytes_read);
  return FileResult::ok;
}

FileResult replace_file(const char* from, const char* to) {
  if (!fault::alive_for_call() || fault::fails(Call::replace)) return FileResult::open_failed;
  fault::Node* source = fault::regular_file(from);
  bool fits = fault::is_directory(fault::parent_of(to)) && !fault::is_directory(to);
  if (source == nullptr || !fits) return FileResult::open_failed;
  // The target platform refuses to replace a file that somebody holds open.
  if (fault::conflicts(Call::replace) || fault::held(from) || fault::held(to)) return FileResult::conflict;
  std::string bytes = source->bytes;
  fault::remove_entry(from);
  fault::put_file(to, bytes);
  return FileResult::ok;
}

FileResult truncate_file(const char* path) {
  if (!fault::alive_for_call() || fault::fails(Call::truncate)) return FileResult::open_failed;
  fault::Node* node = fault::regular_file(path);
  if (node == nullptr) return FileResult::open_failed;
  if (fault::conflicts(Call::truncate) || fault::held(path)) return FileResult::conflict;
  node->bytes.clear();
  return FileResult::ok;
}

void sleep_ms(unsigned milliseconds) {
  // Time in memory passes at once; only the total is kept.
  if (fault::alive_for_call()) world().slept += static_cast<int>(milliseconds);
}

Counter* counter_open(const char* name, const char*, CounterOpen* result) {
  *result = CounterOpen::failed;
  if (!fault::alive_for_call() || fault::fails(Call::counter_open)) return nullptr;
  fault::Block& block = world().blocks[name];
  *result = block.holders > 0 ? CounterOpen::joined : CounterOpen::created;
  ++block.holders;
  world().handles.push_back(std::make_unique<Counter>(Counter{name, world().process}));
  return world().handles.back().get();
}

int32_t* counter_map(Counter* counter) {
  if (!fault::alive_for_call() || fault::fails(Call::counter_map)) return nullptr;
  return world().blocks[counter->name].value.get();
}

void counter_unmap(int32_t*) {
  // Views need no bookkeeping here: a block lives as long as its handles.
  fault::alive_for_call();
}

void counter_close(Counter* counter) {
  if (fault::alive_for_call()) fault::release_counter(counter);
}

bool counter_claim(Counter* counter) {
  if (!fault::alive_for_call()) return false;
  fault::Block& block = world().blocks[counter->name];
  if (block.master != nullptr && block.master != counter) return false;
  block.master = counter;
  return true;
}

bool counter_orphaned(Counter*) {
  // As on the target platform, a held name is never removed. Not counted as
  // a call: followers ask on a clock, which must not move the call numbers.
  return false;
}

Peek counter_peek(const char* name, int32_t* value) {
  if (!fault::alive_for_call()) return Peek::absent;
  std::optional<int32_t> found = fault::counter_value(name);
  if (found) *value = *found;
  return found ? Peek::live : Peek::absent;
}

LockFile file_lock(const char* path, FileLock** lock) {
  *lock = nullptr;
  if (!fault::alive_for_call()) return LockFile::failed;
  if (world().locks.count(path) != 0) return LockFile::held_elsewhere;
  if (!fault::is_directory(fault::parent_of(path)) || fault::is_directory(path)) return LockFile::failed;
  if (world().tree.count(path) == 0) fault::put_file(path, "");
  auto& held = world().locks[path];
  held = std::make_unique<FileLock>(FileLock{path, world().process});
  *lock = held.get();
  return LockFile::locked;
}

void file_unlock(FileLock* lock) {
  if (fault::alive_for_call()) world().locks.erase(lock->path);
}

int32_t counter_exchange(int32_t* view, int32_t value) {
  if (!fault::alive_for_call()) return 0;
  int32_t old = *view;
  *view = value;
  return old;
}

int32_t counter_load(int32_t* view) {
  if (!fault::alive_for_call()) return 0;
  return *view;
}

}  // namespace zeb::platform
