#include "bridge.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "follower.h"
#include "support/test_support.h"

namespace zeb::bench {

namespace {

// How long a server or a first record may take to come up.
constexpr double kStartSeconds = 30;

std::string find_nats_server() {
  // Debian installs it in /usr/sbin, which a user's PATH often lacks.
  const char* path = std::getenv("PATH");
  std::istringstream directories(std::string(path != nullptr ? path : "") + ":/usr/sbin:/usr/local/sbin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    std::string program = directory + "/nats-server";
    if (!directory.empty() && ::access(program.c_str(), X_OK) == 0) return program;
  }
  return "";
}

sockaddr_in loopback(int port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// `count` TCP ports on 127.0.0.1 that were free a moment ago, all held until
// the last is found, so they differ.
std::vector<int> free_ports(int count) {
  std::vector<int> sockets, ports;
  for (int i = 0; i < count; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      ports.push_back(ntohs(address.sin_port));
    if (fd >= 0) sockets.push_back(fd);
  }
  for (int fd : sockets) ::close(fd);
  return ports;
}

// Whether an HTTP GET of `path` on 127.0.0.1:port answers 200.
bool answers_ok(int port, const std::string& path) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  timeval second = {1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
  sockaddr_in address = loopback(port);
  std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  char answer[16] = {};
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()) &&
            ::recv(fd, answer, sizeof answer - 1, MSG_WAITALL) > 12 && std::string(answer).substr(9, 3) == "200";
  ::close(fd);
  return ok;
}

// A program the benchmark started, its stdout and stderr in files named
// after `log`.
struct Process {
  std::string name;
  std::string err_path;
  int pid = -1;
};

Process start(const std::string& name, const std::string& log, const std::vector<std::string>& argv,
              const test::TempDir& logs) {
  Process process = {name, logs / (log + ".err")};
  process.pid = test::spawn_logged(argv, logs / (log + ".out"), process.err_path);
  return process;
}

bool running(Process& process) {
  int status;
  if (process.pid > 0 && ::waitpid(process.pid, &status, WNOHANG) == process.pid) process.pid = -1;
  return process.pid > 0;
}

// Ends the process with SIGTERM (SIGKILL after 10 s); empty when it ended
// with status 0, else what went wrong, with the first line it wrote on stderr.
std::string stop(Process& process) {
  int status = 0;
  if (process.pid > 0) {
    ::kill(process.pid, SIGTERM);
    if (!test::eventually([&] { return ::waitpid(process.pid, &status, WNOHANG) == process.pid; }, 10)) {
      ::kill(process.pid, SIGKILL);
      ::waitpid(process.pid, &status, 0);
    }
  }
  process.pid = -1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  std::string said = test::read_text(process.err_path);
  said = said.substr(0, said.find('\n'));
  return process.name + " ended with " +
         (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status))) +
         (said.empty() ? "" : ": " + said);
}

// Waits until the copy holds the first record, and commits it for each
// follower of the run; empty when done.
std::string pass_first_record(const Channel& copy, int followers) {
  for (int i = 0; i < followers; ++i) {
    FollowerState follower;
    follower_init(follower, copy.root.c_str(), follower_name(i).c_str(), copy.master.c_str());
    if (follower.error.code == 0 &&
        !test::eventually([&] { return follower_read(follower) || follower.error.code != 0; }, kStartSeconds))
      return "the first record did not reach B within " + std::to_string(static_cast<int>(kStartSeconds)) + " s";
    if (follower.error.code != 0 || !follower_commit(follower)) return follower.error.message;
  }
  return "";
}

// Runs `measure(source, copy)` on two new channels joined by two new
// bridges, after a first record went across. Both roots are on this
// machine, where a master name is claimed machine-wide, so the copy's master
// has a name of its own; the channel id (the source's master name) joins
// them.
template <typename Result, typename Measure>
Result across(const Medium& medium, const std::string& bridge, const std::string& url, int followers,
              const Measure& measure) {
  Result result;
  test::TempDir logs(medium.base);
  Channel source(medium), copy(medium);
  source.writer.staged.ticket = 0;
  std::string error = master_write(source.writer) ? "" : source.writer.error.message;
  source.writer.counter.close();
  copy.writer.counter.close();
  std::vector<Process> bridges;
  for (const Channel* channel : {&source, &copy}) {
    const char* mode = channel == &source ? "out" : "in";
    bridges.push_back(start(std::string("zebbridge ") + mode, mode,
                            {bridge, mode, channel->root, channel->master, "--server", url, "--channel", source.master},
                            logs));
  }
  if (error.empty()) error = pass_first_record(copy, followers);
  if (error.empty()) result = measure(source, copy);
  for (Process& process : bridges) {
    std::string ended = stop(process);
    if (error.empty()) error = ended;
  }
  if (result.error.empty()) result.error = error;
  return result;
}

}  // namespace

BridgeFigures measure_bridge(const Medium& medium, int32_t latency_records, int32_t throughput_records) {
  BridgeFigures figures;
  const std::string bridge = ZEB_BRIDGE_PROGRAM;
  const std::string nats_server = find_nats_server();
  if (bridge.empty()) figures.skipped = "zebbridge is not built (it needs libnats-dev and pkg-config)";
  else if (nats_server.empty()) figures.skipped = "no nats-server found (apt-get install nats-server)";
  if (!figures.skipped.empty()) return figures;

  test::TempDir dir(medium.base);
  std::vector<int> ports = free_ports(2);
  if (ports.size() != 2) {
    figures.latency.error = figures.throughput.error = "no free port on 127.0.0.1";
    return figures;
  }
  Process server = start("nats-server", "nats-server",
                         {nats_server, "-a", "127.0.0.1", "-p", std::to_string(ports[0]), "-m",
                          std::to_string(ports[1]), "-js", "-sd", dir / "store"},
                         dir);
  test::eventually([&] { return answers_ok(ports[1], "/healthz") || !running(server); }, kStartSeconds);
  if (!answers_ok(ports[1], "/healthz")) {
    std::string ended = stop(server);
    figures.latency.error = figures.throughput.error =
        "nats-server did not answer /healthz" + (ended.empty() ? "" : ": " + ended);
    return figures;
  }
  std::string url = "nats://127.0.0.1:" + std::to_string(ports[0]);
  figures.latency = across<Latency>(medium, bridge, url, 1, [&](const Channel& source, const Channel& copy) {
    return measure_latency_across(source, copy, latency_records, true);
  });
  figures.throughput = across<Throughput>(medium, bridge, url, 1, [&](const Channel& source, const Channel& copy) {
    return measure_throughput_across(source, copy, throughput_records, 1);
  });
  stop(server);
  return figures;
}

}  // namespace zeb::bench
