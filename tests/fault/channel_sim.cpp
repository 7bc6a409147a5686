#include "channel_sim.h"

#include <cstring>

#include "fault_platform.h"
#include "listing.h"
#include "support/sample_record.h"

namespace zeb::test {

namespace {

constexpr int kMasterProcess = 0;

int follower_process(int i) {
  return i + 1;
}

// Whether `text` is what printf would make of `format`, for any %s (a
// non-empty string) and %d.
bool matches(const char* format, const char* text) {
  if (format[0] == '\0') return text[0] == '\0';
  if (format[0] == '%' && format[1] == 's') {
    for (const char* rest = text + 1; rest[-1] != '\0'; ++rest)
      if (matches(format + 2, rest)) return true;
    return false;
  }
  if (format[0] == '%' && format[1] == 'd') {
    const char* digits = text + (text[0] == '-' ? 1 : 0);
    const char* end = digits;
    while (*end >= '0' && *end <= '9') ++end;
    return end > digits && matches(format + 2, end);
  }
  return format[0] == text[0] && matches(format + 1, text + 1);
}

const std::vector<const char*>& messages_of(int op) {
  static const std::vector<const char*> kInit = {
      "Init: CreateDirectory %s failed", "MapFile: Could not create file-mapping object.",
      "MapFile: Could not map view of file.", "Init: could not list %s directory.",
      "Init: could not read %s file."};
  static const std::vector<const char*> kWrite = {
      "Write: could not get MapFile pointer.", "Write: CreateDirectory %s failed",
      "Write: could not open %s file.",        "Write: WriteFile %s failed.",
      "WriteInd: could not open %s file.",     "WriteInd: WriteFile %s error."};
  static const std::vector<const char*> kRead = {
      "Read: could not get MapFile pointer.", "Read: root directory not found: %s",
      "Read: master directory not found: %s", "Read: system directory not found: %s",
      "Read: FindFirstFile failed.",          "Read: unknown exception",
      "Read: could not open %s file.",        "Read: ReadFile %s error."};
  static const std::vector<const char*> kCommit = {"WriteInd: could not open %s file.",
                                                   "WriteInd: WriteFile %s error."};
  static const std::vector<const char*>* const kByOp[] = {&kInit, &kWrite, &kInit, &kRead, &kCommit};
  return *kByOp[op];
}

// Faults that nothing can mask: the call they hit must not report success.
// A record that cannot be withdrawn is published, so a failing truncate
// leaves its Write a success.
bool must_be_reported(fault::Call kind) {
  using fault::Call;
  return kind != Call::exists && kind != Call::read_open && kind != Call::read_data &&
         kind != Call::truncate;
}

bool whole_number(const std::string& text) {
  size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
  if (digits == 0 || digits > 10) return false;
  for (size_t i = text.size() - digits; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

ChannelSim::ChannelSim(int followers, Delivery delivery)
    : followers_(static_cast<size_t>(followers)), delivery_(delivery) {}

ChannelSim::~ChannelSim() {
  master_stop();
  for (size_t i = 0; i < followers_.size(); ++i) follower_stop(static_cast<int>(i));
}

void ChannelSim::expect_on_disk(int32_t number, const TradeRecord& record) {
  staged_[number] = record;
}

void ChannelSim::problem(const std::string& what) {
  problems_.push_back(what);
}

const ErrorState& ChannelSim::error_of(int process) const {
  if (process == kMasterProcess) return master_state_->error;
  return followers_[static_cast<size_t>(process - 1)].state->error;
}

bool ChannelSim::run(int process, Op op, const std::function<int32_t()>& body, int32_t* result) {
  fault::set_process(process);
  fault::take_fired();
  *result = body();
  std::optional<fault::Call> fired = fault::take_fired();
  if (fault::dead(process)) {
    bury(process);
    check_world();
    return false;
  }
  check_result(op, *result, error_of(process));
  if (fired && must_be_reported(*fired) && *result == 1)
    problem(std::string("a failing ") + fault::call_name(*fired) + " call was reported as success");
  check_world();
  return true;
}

// A process that died: its state goes, and with it what it held.
void ChannelSim::bury(int process) {
  if (process == kMasterProcess)
    master_state_.reset();
  else
    followers_[static_cast<size_t>(process - 1)].state.reset();
  fault::end_process(process);
}

void ChannelSim::check_result(Op op, int32_t result, const ErrorState& error) {
  const char* message = error.message;
  if (result == 0 && error.code == -1) ++failed_calls_;
  if (result == 1 && error.code == 0 && message[0] == '\0') return;
  if (result == 0 && error.code == 0 && message[0] == '\0' && op == Op::read) return;
  if (result == 0 && error.code == -1 && !recovering_) {
    for (const char* format : messages_of(static_cast<int>(op)))
      if (matches(format, message)) return;
  }
  static const char* const kNames[] = {"master Init", "Write", "follower Init", "Read", "Commit"};
  problem(std::string(kNames[static_cast<int>(op)]) + " returned " + std::to_string(result) +
          " with code " + std::to_string(error.code) + " and message '" + message + "'");
}

void ChannelSim::check_world() {
  if (fault::open_listings() != 0) problem("a listing was left open");

  int32_t newest_complete = 0;
  for (const std::string& name : fault::entry_names(master_dir())) {
    int32_t number = parse_number(name.c_str());
    std::optional<std::string> bytes = fault::file(master_dir() + "\\" + name);
    if (bytes && bytes->size() >= kRecordSize && number > newest_complete) newest_complete = number;
  }
  std::optional<int32_t> published = fault::counter_value("zeb_" + master);
  if (published && *published > newest_complete)
    problem("published count " + std::to_string(*published) + " is past the newest complete record " +
            std::to_string(newest_complete));

  for (const std::string& name : fault::entry_names(system_dir())) {
    if (name.rfind(kIndexTempPrefix, 0) == 0) continue;
    std::optional<std::string> text = fault::file(system_dir() + "\\" + name);
    if (!text || !whole_number(*text)) problem("index file " + name + " is not a whole number");
  }

  for (size_t i = 0; i < followers_.size(); ++i) {
    Follower& f = followers_[i];
    std::optional<std::string> text = fault::file(system_dir() + "\\" + follower_name(static_cast<int>(i)));
    int32_t persisted = text ? parse_number(text->c_str()) : 0;
    if (persisted < f.persisted) problem(follower_name(static_cast<int>(i)) + "'s persisted cursor moved back");
    f.persisted = persisted;
    if (f.state == nullptr) continue;
    if (f.state->cursor < f.cursor) problem(follower_name(static_cast<int>(i)) + "'s cursor moved back");
    f.cursor = f.state->cursor;
  }
}

void ChannelSim::check_received(Follower& f) {
  int32_t number = f.state->pending;
  auto staged = staged_.find(number);
  if (refused_.count(number) != 0) {
    problem("received record " + std::to_string(number) + ", whose Write returned 0");
  } else if (staged == staged_.end()) {
    problem("received record " + std::to_string(number) + ", which no Write staged");
  } else if (std::memcmp(&staged->second, &f.state->received, sizeof(TradeRecord)) != 0) {
    problem("record " + std::to_string(number) + " arrived garbled");
  }
  int32_t last = f.received.empty() ? 0 : f.received.back();
  bool in_order = number > last || (number == last && delivery_ == Delivery::again_after_kill) ||
                  (delivery_ == Delivery::replay_after_restart && number > f.last_this_run);
  if (!in_order) problem("record " + std::to_string(number) + " arrived after " + std::to_string(last));
  f.received.push_back(number);
  f.last_this_run = number;
}

void ChannelSim::master_start() {
  if (master_state_ == nullptr) master_state_ = std::make_unique<MasterState>();
  for (int attempt = 0; attempt < 2; ++attempt) {
    int32_t result = 0;
    if (!run(kMasterProcess, Op::master_init,
             [&] { return zeb::master_init(*master_state_, root.c_str(), master.c_str()); }, &result) ||
        result == 1)
      return;
  }
}

void ChannelSim::master_write() {
  if (master_state_ == nullptr) master_start();
  if (master_state_ == nullptr) return;
  TradeRecord trade = sample_record(next_trade_++);
  for (int attempt = 0; attempt < 2; ++attempt) {
    MasterState& state = *master_state_;
    state.staged = trade;
    int32_t before = state.count;
    int32_t result = 0;
    bool alive = run(kMasterProcess, Op::write, [&] { return zeb::master_write(state); }, &result);
    // A master killed in Write may have taken the next number.
    int32_t taken = alive ? state.count : before + 1;
    if (taken != before) staged_[taken] = trade;
    if (!alive) return;
    if (result == 1) {
      confirmed_.push_back(taken);
      return;
    }
    if (taken != before) refused_.insert(taken);
  }
}

void ChannelSim::master_stop() {
  fault::set_process(kMasterProcess);
  master_state_.reset();
  fault::end_process(kMasterProcess);
}

void ChannelSim::follower_start(int i) {
  Follower& f = followers_[static_cast<size_t>(i)];
  if (f.state == nullptr) {
    f.state = std::make_unique<FollowerState>();
    f.cursor = 0;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    int32_t result = 0;
    if (!run(follower_process(i), Op::follower_init,
             [&] {
               return follower_init(*f.state, root.c_str(), follower_name(i).c_str(), master.c_str());
             },
             &result))
      return;
    if (result == 1) {
      f.last_this_run = f.state->cursor;
      if (f.state->cursor != f.persisted)
        problem(follower_name(i) + " started at " + std::to_string(f.state->cursor) +
                " although its index holds " + std::to_string(f.persisted));
      return;
    }
  }
}

void ChannelSim::follower_drain(int i, int limit) {
  Follower& f = followers_[static_cast<size_t>(i)];
  if (f.state == nullptr) follower_start(i);
  for (int reads = 0; reads < limit && f.state != nullptr; ++reads) {
    int32_t result = 0;
    if (!run(follower_process(i), Op::read, [&] { return follower_read(*f.state); }, &result) ||
        result != 1)
      return;
    check_received(f);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!run(follower_process(i), Op::commit, [&] { return follower_commit(*f.state); }, &result) ||
          result == 1)
        break;
    }
  }
}

void ChannelSim::follower_stop(int i) {
  fault::set_process(follower_process(i));
  followers_[static_cast<size_t>(i)].state.reset();
  fault::end_process(follower_process(i));
}

void ChannelSim::recover() {
  fault::clear_faults();
  recovering_ = true;
  if (master_state_ == nullptr || !master_state_->counter.is_open()) master_start();
  for (size_t i = 0; i < followers_.size(); ++i) {
    Follower& f = followers_[i];
    if (f.state == nullptr || !f.state->counter.is_open()) follower_start(static_cast<int>(i));
    follower_drain(static_cast<int>(i), 1000);
    for (int32_t number : confirmed_) {
      bool got = false;
      for (int32_t received : f.received) got = got || received == number;
      if (!got)
        problem(follower_name(static_cast<int>(i)) + " never received record " + std::to_string(number));
    }
  }
}

}  // namespace zeb::test
