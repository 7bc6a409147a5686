#include "map_file.h"

#include <cstdio>
#include <cstring>

namespace zeb {

namespace {

// A rejoining poller finds the name again within this time.
constexpr std::chrono::milliseconds kOrphanCheckInterval{250};

constexpr const char* kOpenFailed = "Could not create file-mapping object.";
constexpr const char* kMapFailed = "Could not map view of file.";

}  // namespace

platform::Counter* MapFile::open_mapped(const char* name, int32_t** view, bool* already_existed) {
  platform::Counter* counter = platform::counter_open(name, already_existed);
  if (counter == nullptr) {
    std::strcpy(error_text_, kOpenFailed);
    return nullptr;
  }
  *view = platform::counter_map(counter);
  if (*view == nullptr) {
    std::strcpy(error_text_, kMapFailed);
    platform::counter_close(counter);
    return nullptr;
  }
  return counter;
}

int32_t MapFile::Open(const char* name) {
  Close();
  std::snprintf(name_, sizeof name_, "%s", name);
  counter_ = open_mapped(name_, &view_, &already_existed_);
  return counter_ != nullptr ? 1 : 0;
}

int32_t MapFile::Close() {
  if (view_ != nullptr) {
    platform::counter_unmap(view_);
    view_ = nullptr;
  }
  if (counter_ != nullptr) {
    platform::counter_close(counter_);
    counter_ = nullptr;
  }
  claimed_ = false;
  return 1;
}

bool MapFile::Claim() {
  claimed_ = platform::counter_claim(counter_);
  return claimed_;
}

bool MapFile::orphan_check_due() {
  auto now = std::chrono::steady_clock::now();
  if (now < next_orphan_check_) return false;
  next_orphan_check_ = now + kOrphanCheckInterval;
  return true;
}

MapFile::Rejoined MapFile::Rejoin() {
  bool existed = false;
  int32_t* view = nullptr;
  platform::Counter* fresh = open_mapped(name_, &view, &existed);
  if (fresh == nullptr) return Rejoined::open_failed;
  if (claimed_ && !platform::counter_claim(fresh)) {
    platform::counter_unmap(view);
    platform::counter_close(fresh);
    return Rejoined::claimed_elsewhere;
  }
  int32_t count = read();
  platform::counter_unmap(view_);
  platform::counter_close(counter_);
  counter_ = fresh;
  view_ = view;
  raise_to(count);
  return Rejoined::done;
}

void MapFile::raise_to(int32_t count) {
  // Exchange is the only write the counter offers: whenever it replaced a
  // larger value, put that value back, until nothing larger was replaced.
  int32_t replaced = platform::counter_exchange(view_, count);
  while (replaced > count) {
    count = replaced;
    replaced = platform::counter_exchange(view_, count);
  }
}

void channel_counter_name(CounterName& out, const char* master) {
  std::snprintf(out, sizeof out, "zeb_%s", master);
}

int32_t open_channel_counter(MapFile& counter, ErrorState& error, const char* master) {
  CounterName name;
  channel_counter_name(name, master);
  counter.Close();
  if (counter.Open(name) == 0) return error_fail(error, "MapFile: %s", counter.error_text());
  return 1;
}

namespace {

int32_t report_claimed_elsewhere(ErrorState& error, const char* operation, const char* master) {
  return error_fail(error, "%s: another master named %s is running on this machine.", operation,
                    master);
}

}  // namespace

int32_t claim_channel_counter(MapFile& counter, ErrorState& error, const char* master) {
  if (counter.Claim()) return 1;
  counter.Close();
  return report_claimed_elsewhere(error, "Init", master);
}

int32_t keep_channel_counter(MapFile& counter, ErrorState& error, const char* operation,
                             const char* master, OrphanCheck when) {
  if (when == OrphanCheck::when_due && !counter.orphan_check_due()) return 1;
  if (!counter.orphaned()) return 1;
  switch (counter.Rejoin()) {
    case MapFile::Rejoined::done:
      return 1;
    case MapFile::Rejoined::claimed_elsewhere:
      return report_claimed_elsewhere(error, operation, master);
    case MapFile::Rejoined::open_failed:
      break;
  }
  return error_fail(error, "%s: MapFile: %s", operation, counter.error_text());
}

}  // namespace zeb
