#include "bridge_report.h"

#include <cstdio>

#include "json_text.h"

namespace zebbridge {

Report::Report(const BridgeConfig& config)
    : config_(config),
      next_status_(std::chrono::steady_clock::now() + std::chrono::seconds(config.status_interval_s)) {}

void Report::event(const char* name, const std::string& message, const std::vector<Field>& fields) {
  std::string line;
  if (config_.json) {
    line = "{\"event\":" + zebctl::json_string(name) + ",\"mode\":" + zebctl::json_string(config_.mode_name()) +
           ",\"channel\":" + zebctl::json_string(config_.channel);
    for (const Field& field : fields)
      line += "," + zebctl::json_string(field.key) + ":" + (field.is_number ? field.text : zebctl::json_string(field.text));
    line += "}";
  } else {
    line = std::string("zebbridge ") + config_.mode_name() + ": " + message;
  }
  line += "\n";
  // A supervisor reading a pipe sees each event as it happens.
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

void Report::error(const std::string& message) {
  last_error_ = message;
  if (message == repeated_error_) return;
  repeated_error_ = message;
  event("error", message, {text("message", message)});
}

void Report::tick() {
  auto now = std::chrono::steady_clock::now();
  if (now < next_status_) return;
  next_status_ = now + std::chrono::seconds(config_.status_interval_s);
  std::string error = last_error_.empty() ? "none" : last_error_;
  event("status",
        "carried " + std::to_string(carried_) + " records, lag " + std::to_string(lag_) + ", last error: " + error,
        {number("carried", carried_), number("lag", lag_), text("last_error", last_error_)});
}

void Report::final_line(const char* event_name, const std::string& message) {
  if (config_.json) event(event_name, message, {text("message", message)});
  std::fflush(stdout);
  std::fprintf(stderr, "zebbridge: %s\n", message.c_str());
}

}  // namespace zebbridge
