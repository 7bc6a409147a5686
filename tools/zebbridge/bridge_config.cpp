#include "bridge_config.h"

#include <cctype>

#include "channel_id.h"
#include "command_line.h"

namespace zebbridge {

const std::vector<BridgeOption> kBridgeOptions = {
    {"--server", "URL", nullptr,
     "nats://host:port (or tls://; port 4222 when left out), or a comma-separated list of a cluster's servers"},
    {"--channel", "ID", nullptr,
     "the channel id, 1 to 120 letters, digits, '_' and '-' (default: the master name's bytes in hex)"},
    {"--domain", "NAME", "ZEB_NATS_DOMAIN",
     "the JetStream domain that holds the stream (a hub's, reached through a leaf node server)"},
    {"--replicas", "N", nullptr, "out only: copies of the stream it creates, 1 to 5 (default 1)"},
    {"--json", nullptr, nullptr, "events as one JSON object per line instead of text lines"},
    {"--status-interval", "S", nullptr, "seconds between status lines (default 60)"},
    {"--metrics-file", "PATH", nullptr,
     "rewrite this Prometheus text file at each status interval, for node_exporter's or windows_exporter's "
     "textfile collector (a name ending in .prom)"},
    {"--user", "U", "ZEB_NATS_USER", "the user name; goes with --password"},
    {"--password", "P", "ZEB_NATS_PASSWORD", "the user's password"},
    {"--token", "T", "ZEB_NATS_TOKEN", "a token instead of a user"},
    {"--creds", "FILE", "ZEB_NATS_CREDS", "a credentials file instead of a user"},
    {"--tls", nullptr, nullptr, "talk TLS to the server"},
    {"--tls-ca", "FILE", "ZEB_NATS_TLS_CA", "the authority that signed the server's certificate; turns TLS on"},
    {"--tls-cert", "FILE", "ZEB_NATS_TLS_CERT", "a client certificate, with --tls-key; turns TLS on"},
    {"--tls-key", "FILE", "ZEB_NATS_TLS_KEY", "the client certificate's key"},
};

namespace {

// The option's value, else its environment variable's, else empty.
std::string setting(const tools::Arguments& args, const std::string& option,
                    const std::function<const char*(const char*)>& getenv) {
  auto given = args.values.find(option);
  if (given != args.values.end()) return given->second;
  for (const BridgeOption& known : kBridgeOptions) {
    if (known.name != option || known.variable == nullptr) continue;
    const char* value = getenv(known.variable);
    return value != nullptr ? value : "";
  }
  return "";
}

// The URLs of a comma-separated list, without the blanks around them.
std::vector<std::string> split_servers(const std::string& servers) {
  std::vector<std::string> urls;
  size_t start = 0;
  while (start <= servers.size()) {
    size_t comma = servers.find(',', start);
    if (comma == std::string::npos) comma = servers.size();
    std::string url = servers.substr(start, comma - start);
    url.erase(0, url.find_first_not_of(' '));
    url.erase(url.find_last_not_of(' ') + 1);
    if (!url.empty()) urls.push_back(url);
    start = comma + 1;
  }
  return urls;
}

// Empty when `url` names a server the way the NATS client takes it:
// nats:// or tls://, a user (and password) if any, a host name or an
// address, a port if not 4222. Otherwise what is wrong with it, the URL
// shown without its user and password.
std::string server_url_problem(const std::string& url) {
  size_t scheme_end = url.find("://");
  size_t start = scheme_end == std::string::npos ? 0 : scheme_end + 3;
  size_t at = url.rfind('@');
  std::string address = url.substr(at == std::string::npos || at < start ? start : at + 1);
  std::string shown = url.substr(0, start) + (url.size() - address.size() > start ? "***@" : "") + address;
  if (scheme_end == std::string::npos) return "\"" + shown + "\" is no URL: give nats://host:port";
  std::string scheme = url.substr(0, scheme_end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "nats" && scheme != "tls") return shown + " is no NATS URL: give nats:// or tls://";
  // An IPv6 address stands in brackets, for the colons in it.
  size_t host_end = address.compare(0, 1, "[") == 0 ? address.find(']') : address.find(':');
  if (host_end != std::string::npos && address[host_end] == ']') ++host_end;
  std::string host = address.substr(0, host_end);
  std::string after = host_end == std::string::npos ? "" : address.substr(host_end);
  bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
  if (host.empty() || (!bracketed && host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789.-_") != std::string::npos))
    return shown + " names no host";
  if (after.empty()) return "";
  std::string port = after.substr(1);
  if (after[0] != ':' || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(port) < 1 || std::stoi(port) > 65535)
    return shown + " names no port from 1 to 65535 after the host";
  return "";
}

// Empty when `domain` may name a JetStream domain (empty: none); otherwise
// what is wrong with it. The server takes any name without blanks, '.', '*'
// and '>', as the domain becomes a part of subjects.
std::string domain_problem(const std::string& domain) {
  if (domain.find_first_of(" \t\r\n\f.*>") == std::string::npos) return "";
  return "a JetStream domain holds no blanks, '.', '*' or '>': " + domain;
}

}  // namespace

BridgeConfig parse_config(const std::vector<std::string>& args,
                          const std::function<const char*(const char*)>& getenv) {
  if (args.empty()) tools::bad_usage("a mode is needed: out or in");
  BridgeConfig config;
  if (args[0] == "in")
    config.mode = Mode::in;
  else if (args[0] != "out")
    tools::bad_usage("unknown mode \"" + args[0] + "\": out or in");

  tools::CommandSyntax syntax{{"ROOT", "MASTER"}, {}, {}};
  for (const BridgeOption& option : kBridgeOptions)
    (option.value != nullptr ? syntax.value_options : syntax.flags).push_back(option.name);
  tools::Arguments parsed = tools::parse_arguments(syntax, {args.begin() + 1, args.end()});
  config.root = parsed.positionals[0];
  config.master = parsed.positionals[1];
  if (!parsed.has("--server")) tools::bad_usage("--server URL is needed");
  config.servers = split_servers(parsed.values.at("--server"));
  if (config.servers.empty()) tools::bad_usage("--server names no URL");
  for (const std::string& url : config.servers) {
    std::string wrong = server_url_problem(url);
    if (!wrong.empty()) tools::bad_usage("--server: " + wrong);
  }
  config.channel = parsed.has("--channel") ? parsed.values.at("--channel") : channel_id_of_master(config.master);
  std::string problem = channel_id_problem(config.channel);
  if (!problem.empty())
    tools::bad_usage(parsed.has("--channel") ? problem : problem + "; give one with --channel ID");
  if (config.mode == Mode::in && parsed.has("--replicas"))
    tools::bad_usage("--replicas is for the out bridge, which creates the stream");
  config.replicas = tools::int_option(parsed, "--replicas", 1, 1);
  if (config.replicas > 5) tools::bad_usage("--replicas is at most 5");
  config.domain = setting(parsed, "--domain", getenv);
  problem = domain_problem(config.domain);
  if (!problem.empty()) tools::bad_usage(problem);
  config.status_interval_s = tools::int_option(parsed, "--status-interval", 60, 1);
  config.json = parsed.has("--json");
  if (parsed.has("--metrics-file")) {
    config.metrics_file = parsed.values.at("--metrics-file");
    if (config.metrics_file.empty()) tools::bad_usage("--metrics-file needs a file name");
  }

  Credentials& c = config.credentials;
  c.user = setting(parsed, "--user", getenv);
  c.password = setting(parsed, "--password", getenv);
  c.token = setting(parsed, "--token", getenv);
  c.creds_file = setting(parsed, "--creds", getenv);
  c.tls_ca = setting(parsed, "--tls-ca", getenv);
  c.tls_cert = setting(parsed, "--tls-cert", getenv);
  c.tls_key = setting(parsed, "--tls-key", getenv);
  c.tls = parsed.has("--tls") || !c.tls_ca.empty() || !c.tls_cert.empty();
  if (c.user.empty() != c.password.empty()) tools::bad_usage("a user needs a password, and a password a user");
  if (!c.token.empty() + !c.user.empty() + !c.creds_file.empty() > 1)
    tools::bad_usage("give one of a user and password, a token or a credentials file");
  if (c.tls_cert.empty() != c.tls_key.empty()) tools::bad_usage("--tls-cert and --tls-key go together");
  return config;
}

}  // namespace zebbridge
