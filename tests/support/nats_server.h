#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/files.h"

// Real nats-server processes for the bridge tests and the benchmark, on
// 127.0.0.1 only: each on ports nobody else had, with JetStream storing
// under a temporary directory. A server keeps its ports and store across
// restarts, as a machine's server does.
namespace zeb::test {

// The nats-server program on PATH or in /usr/sbin (where Debian installs
// it, often missing from a user's PATH); empty when there is none.
std::string nats_server_program();

// A TCP port on 127.0.0.1 that was free a moment ago, outside the range of
// local ports that outgoing connections take.
int free_port();

// The status code of an HTTP GET of `path` on 127.0.0.1:port; 0 when there
// was no answer within about a second.
int http_get_status(int port, const std::string& path);

class NatsServer {
 public:
  // A server on its own, named `name`, storing under a new directory in
  // `store_base` (empty: the system's temporary directory).
  explicit NatsServer(const std::string& store_base, const std::string& name = "solo");
  ~NatsServer();
  NatsServer(const NatsServer&) = delete;
  NatsServer& operator=(const NatsServer&) = delete;

  // Lets only clients with this user and password in (a server on its own).
  void require_user(const std::string& user, const std::string& password) {
    options_.insert(options_.end(), {"--user", user, "--pass", password});
  }
  // Talks only TLS, with this certificate and key (a server on its own).
  void require_tls(const std::string& certificate, const std::string& key) {
    options_.insert(options_.end(), {"--tls", "--tlscert", certificate, "--tlskey", key});
  }
  // Makes this a node of cluster `cluster`, routing to the given ports.
  void join_cluster(const std::string& cluster, int cluster_port, const std::vector<int>& route_ports);
  // Gives its JetStream a domain, by which clients of other servers reach it.
  void set_domain(const std::string& domain) { domain_ = domain; }
  // Adds `text` to its configuration file (leafnodes blocks, for instance).
  void add_config(const std::string& text) { config_ += text; }

  // Starts the process; `wait_ready` waits until /healthz answers 200
  // (false after 30 s, when the process ended, or with no nats-server).
  bool start(bool wait_ready = true);
  bool ready() const;
  // SIGTERM and the exit status; SIGKILL and the signal's status.
  int stop();
  int kill();
  // Whether the process runs (one that ended by itself is reaped).
  bool running();

  std::string url() const { return "nats://127.0.0.1:" + std::to_string(client_port_); }
  const std::string& name() const { return name_; }
  std::string log_path() const { return dir_ / (name_ + ".log"); }
  // Where JetStream stores, while the server runs and across restarts.
  std::string store_path() const { return dir_ / "store"; }

 private:
  // Starts the process; false when there is no nats-server.
  bool spawn();
  int end(int signal);

  TempDir dir_;
  std::string name_;
  int client_port_;
  int monitor_port_;
  int pid_ = 0;
  bool started_ = false;  // ran once: its URL may be in use
  std::string cluster_;  // empty: no cluster
  int cluster_port_ = 0;
  std::vector<int> route_ports_;
  std::string domain_;                // empty: no JetStream domain
  std::string config_;                // beyond what start() writes
  std::vector<std::string> options_;  // of a server on its own
};

// Three JetStream nodes in one cluster.
class NatsCluster {
 public:
  explicit NatsCluster(const std::string& store_base);

  // Starts every node, then waits until each is ready (a node alone has no
  // JetStream quorum, so it is not ready before the others run).
  bool start();
  NatsServer& node(int i) { return *nodes_[i]; }
  // The client URLs of all nodes, comma-separated.
  std::string url() const;

 private:
  std::vector<std::unique_ptr<NatsServer>> nodes_;
};

}  // namespace zeb::test
