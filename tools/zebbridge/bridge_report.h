#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge_config.h"

namespace zebbridge {

class NatsLink;

// `text` with every password and token shown as "***", also one inside a URL.
std::string without_secrets(std::string text, const Credentials& credentials);

// What the bridge tells its operator or supervisor on standard output: one
// line per event, as text ("zebbridge out: ...") or as a JSON object, and a
// status line every interval with the records carried, the lag, what the
// bridge waits on and its error. Standard error gets the line that ends the
// bridge. With --metrics-file, the same figures go to a Prometheus text file.
//
// A thread of its own writes the status line and the metrics file, so both
// keep their interval whatever the bridge waits on: a retry's pause, a
// server that takes seconds to answer, a disk that will not take a write.
// The bridge says what it waits on; every call is safe from any thread.
class Report {
 public:
  // Starts the status thread, which writes the metrics file at once.
  explicit Report(const BridgeConfig& config);
  // Stops it; the metrics file then says the bridge is no longer up.
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Fields of an event beyond its name; values are numbers, text or null.
  struct Field {
    std::string key;
    std::string text;
    bool is_text;
  };
  static Field number(const std::string& key, int64_t value) { return {key, std::to_string(value), false}; }
  static Field text(const std::string& key, const std::string& value) { return {key, value, true}; }
  static Field null(const std::string& key) { return {key, "null", false}; }

  // `message` is the text line's words; `fields` are the JSON event's.
  void event(const char* name, const std::string& message, const std::vector<Field>& fields = {});

  // Record `number` carried, `lag` records behind it. A record carried is
  // progress: the bridge waits on nothing and has no error now.
  void carried(int32_t number, int64_t lag);
  void set_lag(int64_t lag);
  // The last record carried before this run: the stream's last (out) or the
  // copy's (in).
  void set_last_record(int32_t number);
  // What the bridge waits on now, as words after "waiting on" ("the server
  // to store record 12"); empty when it waits on nothing in particular.
  void waiting_on(const std::string& what);
  // An error the bridge goes on after (it retries): the current error until
  // it recovers, reported as an event once when it differs from the one
  // before.
  void error(const std::string& message);
  // The bridge works again: no current error, nothing waited on, and the
  // next error is reported again.
  void recovered();
  // The connection to the server went or came (back).
  void connection(bool up);

  // The line that ends the bridge: on standard error, and as a JSON event.
  void final_line(const char* event_name, const std::string& message);

 private:
  // What a status line and the metrics file say, taken under the lock.
  struct Figures {
    int64_t carried = 0;
    int64_t lag = 0;
    int32_t last_record = 0;
    int64_t reconnects = 0;
    bool connected = false;
    bool up = true;
    std::string waiting_on;
    std::string error;       // the current one; empty when none
    std::string last_error;  // the latest, also once recovered
    std::chrono::system_clock::time_point last_error_at;  // for the metrics' timestamp
    std::chrono::steady_clock::time_point last_error_seen;  // for "12 s ago"
  };

  std::string compose_line(const char* name, const std::string& message, const std::vector<Field>& fields) const;
  void print(const std::string& line);
  void run_status();
  void status(const Figures& figures);
  void write_metrics(const Figures& figures);

  const BridgeConfig& config_;
  std::mutex mutex_;  // guards figures_, repeated_error_ and stopping_
  Figures figures_;
  bool ever_connected_ = false;
  std::string repeated_error_;
  bool stopping_ = false;
  std::condition_variable stop_;
  std::mutex output_;  // one line at a time on standard output
  bool metrics_failing_ = false;
  std::thread status_thread_;  // last: it starts once everything above is made
};

// Reports the connection going and coming back, as the link saw it since the
// last call; true when it came (back).
bool note_connection(NatsLink& link, Report& report);

}  // namespace zebbridge
