#include "shared_counter.h"

#include <cstdio>
#include <cstring>

#include "conflict_retry.h"
#include "host_messages.h"

namespace zeb {

namespace {

// A rejoining poller finds the name again within this time.
constexpr std::chrono::milliseconds kOrphanCheckInterval{250};

}  // namespace

platform::Counter* SharedCounter::open_mapped(int32_t** view, bool* already_existed) {
  platform::CounterOpen opened;
  platform::Counter* counter = platform::counter_open(name_, directory_, &opened);
  if (counter == nullptr) {
    switch (opened) {
      case platform::CounterOpen::foreign:
        std::snprintf(error_text_, sizeof error_text_, messages::kCounterForeign, name_, directory_);
        break;
      case platform::CounterOpen::busy:
        std::snprintf(error_text_, sizeof error_text_, messages::kCounterBusy, name_);
        break;
      default:
        std::snprintf(error_text_, sizeof error_text_, "%s", messages::kCounterCreateFailed);
    }
    return nullptr;
  }
  *already_existed = opened == platform::CounterOpen::joined;
  *view = platform::counter_map(counter);
  if (*view == nullptr) {
    std::snprintf(error_text_, sizeof error_text_, "%s", messages::kCounterMapFailed);
    platform::counter_close(counter);
    return nullptr;
  }
  return counter;
}

bool SharedCounter::open(const char* name, const char* directory) {
  std::snprintf(name_, sizeof name_, "%s", name);
  std::snprintf(directory_, sizeof directory_, "%s", directory);
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
  if (lock_ != nullptr) {
    platform::file_unlock(lock_);
    lock_ = nullptr;
  }
  claimed_ = false;
}

SharedCounter::Claim SharedCounter::claim(const char* lock_path) {
  if (!platform::counter_claim(counter_)) return Claim::held_elsewhere;
  claimed_ = true;
  if (lock_path == nullptr || lock_ != nullptr) return Claim::taken;
  // Files others open for a moment may refuse the open; the lock itself is
  // never waited for.
  platform::LockFile locked = platform::LockFile::failed;
  for (unsigned delay : kConflictDelaysMs) {
    locked = platform::file_lock(lock_path, &lock_);
    if (locked != platform::LockFile::failed) break;
    platform::sleep_ms(delay);
  }
  if (locked == platform::LockFile::locked) return Claim::taken;
  if (locked == platform::LockFile::failed)
    std::snprintf(error_text_, sizeof error_text_, messages::kClaimLockFailed, lock_path);
  return locked == platform::LockFile::held_elsewhere ? Claim::held_elsewhere : Claim::failed;
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
  if (counter.open(paths.counter_name(), paths.master_dir())) return true;
  return error_fail(error, messages::kCounterFailed, counter.error_text());
}

NamedClaim claim_named_counter(SharedCounter& holder, const char* name, const char* directory,
                               const char* lock_path) {
  if (!holder.open(name, directory)) return NamedClaim::open_failed;
  SharedCounter::Claim claim = holder.claim(lock_path);
  if (claim == SharedCounter::Claim::taken) return NamedClaim::taken;
  holder.close();
  return claim == SharedCounter::Claim::failed ? NamedClaim::failed : NamedClaim::held_elsewhere;
}

bool claim_channel_counter(SharedCounter& counter, ErrorState& error, const ChannelPaths& paths) {
  Path lock = paths.master_lock();
  switch (claim_named_counter(counter, paths.counter_name(), paths.master_dir(),
                              platform::kCounterNameRemovable ? lock.c_str() : nullptr)) {
    case NamedClaim::taken:
      return true;
    case NamedClaim::open_failed:
      return error_fail(error, messages::kCounterFailed, counter.error_text());
    case NamedClaim::failed:
      return error_fail(error, "%s", counter.error_text());
    case NamedClaim::held_elsewhere:
      break;
  }
  return error_fail(error, messages::kClaimedElsewhere, "Init", paths.master());
}

Kept keep_channel_counter(SharedCounter& counter, ErrorState& error, const char* operation,
                          const char* master, OrphanCheck when) {
  if (when == OrphanCheck::when_due && !counter.orphan_check_due()) return Kept::same;
  if (!counter.orphaned()) return Kept::same;
  switch (counter.rejoin()) {
    case SharedCounter::Rejoined::done:
      return Kept::rejoined;
    case SharedCounter::Rejoined::claimed_elsewhere:
      error_fail(error, messages::kClaimedElsewhere, operation, master);
      return Kept::failed;
    case SharedCounter::Rejoined::open_failed:
      break;
  }
  error_fail(error, messages::kCounterRejoinFailed, operation, counter.error_text());
  return Kept::failed;
}

}  // namespace zeb
