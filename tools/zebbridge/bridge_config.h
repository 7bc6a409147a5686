#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zebbridge {

// Exit statuses beside zebctl's (1 could not run, 2 bad usage): the bridge
// stopped because going on would lose or duplicate records.
constexpr int kRefused = 3;

enum class Mode { out, in };

// How the bridge proves who it is to the server, and whether it talks TLS.
// Secrets live here only: nothing prints them.
struct Credentials {
  std::string user;
  std::string password;
  std::string token;
  std::string creds_file;
  bool tls = false;
  std::string tls_ca;
  std::string tls_cert;
  std::string tls_key;
};

struct BridgeConfig {
  Mode mode = Mode::out;
  std::string root;
  std::string master;
  std::string channel;  // the channel id
  std::vector<std::string> servers;  // the URL of a server, or of each server of a cluster
  std::string domain;   // the JetStream domain to reach, or empty for the server's own
  int replicas = 1;     // of a stream the out bridge creates
  bool json = false;
  int status_interval_s = 60;
  std::string metrics_file;  // empty: none
  Credentials credentials;

  const char* mode_name() const { return mode == Mode::out ? "out" : "in"; }
  std::string stream() const { return "ZEB_" + channel; }
  std::string subject() const { return "zeb.ch." + channel; }
  // The follower name of the out bridge.
  std::string follower() const { return "bridge-" + channel; }
};

// Reads the command line (the words after the program's name) and, for what
// it leaves out, the environment through `getenv`. Bad usage throws
// tools::Failure with status 2.
BridgeConfig parse_config(const std::vector<std::string>& args,
                          const std::function<const char*(const char*)>& getenv);

// One option of the command line, as parse_config reads it and the help,
// the manual page and the completion show it.
struct BridgeOption {
  const char* name;      // "--server"
  const char* value;     // what it takes ("URL"), or nullptr for a flag
  const char* variable;  // the environment variable read when it is not given, or nullptr
  const char* help;
};
extern const std::vector<BridgeOption> kBridgeOptions;

}  // namespace zebbridge
