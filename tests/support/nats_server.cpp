#include "support/nats_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

#include "support/test_support.h"

namespace zeb::test {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

std::string nats_server_program() {
  const char* path = std::getenv("PATH");
  std::istringstream directories(std::string(path != nullptr ? path : "") + ":/usr/sbin:/usr/local/sbin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    std::string program = directory + "/nats-server";
    if (!directory.empty() && ::access(program.c_str(), X_OK) == 0) return program;
  }
  return "";
}

int free_port() {
  // Below the range the kernel picks local ports of outgoing connections
  // from (32768 on), so no client or route connection of a test running
  // meanwhile takes the port before the server binds it; chosen at random
  // so concurrent test processes rarely try the same one, and never twice
  // in one process.
  static std::mt19937 random(std::random_device{}());
  static std::set<int> handed_out;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int port = 20000 + static_cast<int>(random() % 12000);
    if (handed_out.count(port) != 0) continue;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    if (!free) continue;
    handed_out.insert(port);
    return port;
  }
  return 0;
}

int http_get_status(int port, const std::string& path) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  timeval second = {1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
  sockaddr_in address = loopback(port);
  std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[256];
    ssize_t got;
    while (answer.find("\r\n") == std::string::npos && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
      answer.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  // "HTTP/1.x NNN reason"
  size_t space = answer.find(' ');
  return space == std::string::npos ? 0 : std::atoi(answer.c_str() + space + 1);
}

NatsServer::NatsServer(const std::string& store_base, const std::string& name)
    : dir_(store_base), name_(name), client_port_(free_port()), monitor_port_(free_port()) {}

NatsServer::~NatsServer() {
  if (running()) kill();
}

void NatsServer::join_cluster(const std::string& cluster, int cluster_port,
                              const std::vector<int>& route_ports) {
  cluster_ = cluster;
  cluster_port_ = cluster_port;
  route_ports_ = route_ports;
}

bool NatsServer::start(bool wait_ready) {
  for (int attempt = 1;; ++attempt) {
    if (spawn() && (!wait_ready || (eventually([&] { return ready() || !running(); }, 30) && running()))) {
      started_ = true;
      return true;
    }
    std::string said = read_text(log_path() + ".err");
    // Another test process can take a port found free before this server
    // binds it; a server that never ran yet tries others.
    if (!started_ && attempt < 3 && said.find("address already in use") != std::string::npos) {
      client_port_ = free_port();
      monitor_port_ = free_port();
      continue;
    }
    std::fprintf(stderr, "nats-server did not start: %s\n", said.c_str());
    return false;
  }
}

bool NatsServer::spawn() {
  std::string store = store_path();
  std::vector<std::string> argv = {nats_server_program()};
  if (argv[0].empty()) return false;
  if (cluster_.empty() && domain_.empty() && config_.empty()) {
    argv.insert(argv.end(), {"-a", "127.0.0.1", "-p", std::to_string(client_port_), "-m",
                             std::to_string(monitor_port_), "-js", "-sd", store, "-n", name_});
    argv.insert(argv.end(), options_.begin(), options_.end());
  } else {
    std::string text = "server_name: " + name_ + "\n" + "listen: 127.0.0.1:" + std::to_string(client_port_) + "\n" +
                       "http: 127.0.0.1:" + std::to_string(monitor_port_) + "\n" + "jetstream { store_dir: \"" +
                       store + "\"" + (domain_.empty() ? "" : ", domain: " + domain_) + " }\n";
    if (!cluster_.empty()) {
      std::string routes;
      for (int port : route_ports_)
        routes += (routes.empty() ? "" : ", ") + std::string("nats-route://127.0.0.1:") + std::to_string(port);
      text += "cluster {\n  name: " + cluster_ + "\n  listen: 127.0.0.1:" + std::to_string(cluster_port_) +
              "\n  routes: [" + routes + "]\n}\n";
    }
    std::string config = dir_ / "server.conf";
    write_text(config, text + config_);
    argv.insert(argv.end(), {"-c", config});
  }
  pid_ = spawn_logged(argv, log_path(), log_path() + ".err");
  return true;
}

bool NatsServer::ready() const {
  return http_get_status(monitor_port_, "/healthz") == 200;
}

bool NatsServer::running() {
  int status;
  if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = 0;
  return pid_ > 0;
}

int NatsServer::end(int signal) {
  if (!running()) return -1;
  ::kill(pid_, signal);
  int status = wait_for(pid_, 30);
  pid_ = 0;
  return status;
}

int NatsServer::stop() {
  return end(SIGTERM);
}

int NatsServer::kill() {
  return end(SIGKILL);
}

NatsCluster::NatsCluster(const std::string& store_base) {
  std::vector<int> cluster_ports = {free_port(), free_port(), free_port()};
  for (int i = 0; i < 3; ++i) {
    nodes_.push_back(std::make_unique<NatsServer>(store_base, "node" + std::to_string(i + 1)));
    std::vector<int> routes;
    for (int j = 0; j < 3; ++j)
      if (j != i) routes.push_back(cluster_ports[j]);
    nodes_.back()->join_cluster("zebtest", cluster_ports[i], routes);
  }
}

bool NatsCluster::start() {
  for (auto& node : nodes_)
    if (!node->start(false)) return false;
  for (auto& node : nodes_)
    if (!eventually([&] { return node->ready() || !node->running(); }, 60) || !node->running())
      return false;
  return true;
}

std::string NatsCluster::url() const {
  std::string urls;
  for (const auto& node : nodes_) urls += (urls.empty() ? "" : ",") + node->url();
  return urls;
}

}  // namespace zeb::test
