#include "shared_counter.h"

#include <cstdio>
#include <cstring>

#include "host_messages.h"

namespace zeb {

namespace {

// A rejoining poller finds the name again within this time.
constexpr std::chrono::milliseconds kOrphanCheckInterval{250};

}  // namespace

platform::Counter* SharedCounter::open_mapped(int32_t** view, bool* already_existed) {
  platform::Counter* counter = platform::counter_open(name_, already_existed);
  if (counter == nullptr) {
    std::snprintf(error_text_, sizeof error_text_, "%s", messages::kCounterCreateFailed);
    return nullptr;
  }
  *view = platform::counter_map(counter);
  if (*view == nullptr) {
    std::snprintf(error_text_, sizeof error_text_, "%s", messages::kCounterMapFailed);
    platform::counter_close(counter);
    return nullptr;
  }
  return counter;
}

bool SharedCounter::open(const char* name) {
  std::snprintf(name_, sizeof name_, "%s", name);
  counter_ = open_mapped(&view_, &already_existed_);
  return counter_ != nullptr;
}

void SharedCounter::close() {
  if (view_ != nullptr) {
    platform::counter_unmap(view_);
    view_ = nullptr;
  }
  if (counter_ != nullptr) {
    platform::counter_close(counter_);
    counter_ = nullptr;
  }
  claimed_ = false;
}

bool SharedCounter::claim() {
  claimed_ = platform::counter_claim(counter_);
  return claimed_;
}

bool SharedCounter::orphan_check_due() {
  auto now = std::chrono::steady_clock::now();
  if (now < next_orphan_check_) return false;
  next_orphan_check_ = now + kOrphanCheckInterval;
  return true;
}

SharedCounter::Rejoined SharedCounter::rejoin() {
  bool existed = false;
  int32_t* view = nullptr;
  platform::Counter* fresh = open_mapped(&view, &existed);
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

void SharedCounter::raise_to(int32_t count) {
  // Exchange is the only write the counter offers: whenever it replaced a
  // larger value, put that value back, until nothing larger was replaced.
  int32_t replaced = platform::counter_exchange(view_, count);
  while (replaced > count) {
    count = replaced;
    replaced = platform::counter_exchange(view_, count);
  }
}

bool open_channel_counter(SharedCounter& counter, ErrorState& error, const ChannelPaths& paths) {
  if (counter.open(paths.counter_name())) return true;
  return error_fail(error, messages::kCounterFailed, counter.error_text());
}

bool claim_channel_counter(SharedCounter& counter, ErrorState& error, const char* master) {
  if (counter.claim()) return true;
  counter.close();
  return error_fail(error, messages::kClaimedElsewhere, "Init", master);
}

bool keep_channel_counter(SharedCounter& counter, ErrorState& error, const char* operation,
                          const char* master, OrphanCheck when) {
  if (when == OrphanCheck::when_due && !counter.orphan_check_due()) return true;
  if (!counter.orphaned()) return true;
  switch (counter.rejoin()) {
    case SharedCounter::Rejoined::done:
      return true;
    case SharedCounter::Rejoined::claimed_elsewhere:
      return error_fail(error, messages::kClaimedElsewhere, operation, master);
    case SharedCounter::Rejoined::open_failed:
      break;
  }
  return error_fail(error, messages::kCounterRejoinFailed, operation, counter.error_text());
}

}  // namespace zeb
