#include "bridge_config.h"

#include "channel_id.h"
#include "command_line.h"

namespace zebbridge {

const char kUsage[] =
    "usage: zebbridge out ROOT MASTER --server URL [--channel ID] [options]\n"
    "       zebbridge in  ROOT MASTER --server URL [--channel ID] [options]\n"
    "\n"
    "Carries the channel of MASTER under ROOT across machines over NATS JetStream.\n"
    "  out  on the master's machine: follows the channel as bridge-ID and publishes\n"
    "       each record to stream ZEB_ID, committing it once the server stored it.\n"
    "  in   on a far machine: the master of the local copy ROOT/MASTER, writing each\n"
    "       record under its number at the source.\n"
    "\n"
    "  --server URL           nats://host:port, or a comma-separated list of them\n"
    "  --channel ID           letters, digits, '_' and '-' (default: the master name in hex)\n"
    "  --replicas N           replicas of the stream out creates (default 1)\n"
    "  --json                 events as JSON lines\n"
    "  --status-interval S    seconds between status lines (default 60)\n"
    "  --user U --password P  --token T  --creds FILE\n"
    "  --tls  --tls-ca FILE  --tls-cert FILE --tls-key FILE\n"
    "Credentials and TLS files may come from ZEB_NATS_USER, ZEB_NATS_PASSWORD,\n"
    "ZEB_NATS_TOKEN, ZEB_NATS_CREDS, ZEB_NATS_TLS_CA, ZEB_NATS_TLS_CERT and\n"
    "ZEB_NATS_TLS_KEY instead. SIGINT or SIGTERM ends the bridge with status 0;\n"
    "status 3 means it refused to go on rather than lose or duplicate records.\n";

namespace {

// The option's value, else the environment variable's, else empty.
std::string setting(const tools::Arguments& args, const std::string& option,
                    const std::function<const char*(const char*)>& getenv, const char* variable) {
  auto given = args.values.find(option);
  if (given != args.values.end()) return given->second;
  const char* value = getenv(variable);
  return value != nullptr ? value : "";
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

  tools::CommandSyntax syntax{
      {"ROOT", "MASTER"},
      {"--server", "--channel", "--replicas", "--status-interval", "--user", "--password", "--token", "--creds",
       "--tls-ca", "--tls-cert", "--tls-key"},
      {"--json", "--tls"}};
  tools::Arguments parsed = tools::parse_arguments(syntax, {args.begin() + 1, args.end()});
  config.root = parsed.positionals[0];
  config.master = parsed.positionals[1];
  if (!parsed.has("--server")) tools::bad_usage("--server URL is needed");
  config.servers = parsed.values.at("--server");
  config.channel = parsed.has("--channel") ? parsed.values.at("--channel") : channel_id_of_master(config.master);
  std::string problem = channel_id_problem(config.channel);
  if (!problem.empty())
    tools::bad_usage(parsed.has("--channel") ? problem : problem + "; give one with --channel ID");
  if (config.mode == Mode::in && parsed.has("--replicas"))
    tools::bad_usage("--replicas is for the out bridge, which creates the stream");
  config.replicas = tools::int_option(parsed, "--replicas", 1, 1);
  if (config.replicas > 5) tools::bad_usage("--replicas is at most 5");
  config.status_interval_s = tools::int_option(parsed, "--status-interval", 60, 1);
  config.json = parsed.has("--json");

  Credentials& c = config.credentials;
  c.user = setting(parsed, "--user", getenv, "ZEB_NATS_USER");
  c.password = setting(parsed, "--password", getenv, "ZEB_NATS_PASSWORD");
  c.token = setting(parsed, "--token", getenv, "ZEB_NATS_TOKEN");
  c.creds_file = setting(parsed, "--creds", getenv, "ZEB_NATS_CREDS");
  c.tls_ca = setting(parsed, "--tls-ca", getenv, "ZEB_NATS_TLS_CA");
  c.tls_cert = setting(parsed, "--tls-cert", getenv, "ZEB_NATS_TLS_CERT");
  c.tls_key = setting(parsed, "--tls-key", getenv, "ZEB_NATS_TLS_KEY");
  c.tls = parsed.has("--tls") || !c.tls_ca.empty() || !c.tls_cert.empty();
  if (c.user.empty() != c.password.empty()) tools::bad_usage("a user needs a password, and a password a user");
  if (!c.token.empty() + !c.user.empty() + !c.creds_file.empty() > 1)
    tools::bad_usage("give one of a user and password, a token or a credentials file");
  if (c.tls_cert.empty() != c.tls_key.empty()) tools::bad_usage("--tls-cert and --tls-key go together");
  return config;
}

}  // namespace zebbridge
