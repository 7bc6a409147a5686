#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bridge_config.h"

namespace zebbridge {

class NatsLink;

// `text` with every password and token shown as "***", also one inside a URL.
std::string without_secrets(std::string text, const Credentials& credentials);

// What the bridge tells its operator or supervisor on standard output: one
// line per event, as text ("zebbridge out: ...") or as a JSON object, and a
// status line every interval with the records carried, the lag and the last
// error. Standard error gets the line that ends the bridge.
class Report {
 public:
  explicit Report(const BridgeConfig& config);

  // Fields of an event beyond its name; values are numbers or text.
  struct Field {
    std::string key;
    std::string text;
    bool is_number;
  };
  static Field number(const std::string& key, int64_t value) { return {key, std::to_string(value), true}; }
  static Field text(const std::string& key, const std::string& value) { return {key, value, false}; }

  // `message` is the text line's words; `fields` are the JSON event's.
  void event(const char* name, const std::string& message, const std::vector<Field>& fields = {});

  void carried(int64_t lag) {
    ++carried_;
    lag_ = lag;
  }
  void set_lag(int64_t lag) { lag_ = lag; }
  // An error the bridge goes on after (it retries): reported once when it
  // differs from the one before, and kept for the status line.
  void error(const std::string& message);
  // The error cleared: the next one is reported again.
  void recovered() { repeated_error_.clear(); }
  // Prints the status line when the interval has passed.
  void tick();

  // The line that ends the bridge: on standard error, and as a JSON event.
  void final_line(const char* event_name, const std::string& message);

 private:
  std::string compose_line(const char* name, const std::string& message, const std::vector<Field>& fields) const;

  const BridgeConfig& config_;
  int64_t carried_ = 0;
  int64_t lag_ = 0;
  std::string last_error_;
  std::string repeated_error_;
  std::chrono::steady_clock::time_point next_status_;
};

// Reports the connection going and coming back, as the link saw it since the
// last call; true when it came (back).
bool note_connection(NatsLink& link, Report& report);

}  // namespace zebbridge
