// zebctl called wrongly, or at a channel that is not there: one line that
// names the problem, a non-zero status, and nothing created.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

#include "support/zebctl_fixture.h"
#include "zeb/version.h"

namespace zeb {
namespace {

class ZebctlUsageTest : public test::ZebctlTest {};

TEST_F(ZebctlUsageTest, EveryCommandExplainsItself) {
  test::CommandResult overview = zebctl({"--help"});
  EXPECT_EQ(overview.status, 0);
  for (const char* command : {"status", "show", "tail", "publish", "follow"}) {
    EXPECT_NE(overview.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    test::CommandResult help = zebctl({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: zebctl ") + command + " ROOT ", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "") << command;
  }
  EXPECT_NE(
      zebctl({"publish", "--help"}).out.find("two masters on one channel take\nthe same record numbers"),
      std::string::npos);
  EXPECT_EQ(zebctl({"--version"}).out, "zebctl " ZEB_VERSION_STRING "\n");
}

// The words of a manual page as it reads, its requests left out.
std::vector<std::string> page_words(const std::string& page) {
  std::vector<std::string> words;
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind('.', 0) == 0) continue;
    for (auto [from, to] : {std::pair{"\\fB", ""}, {"\\fR", ""}, {"\\&", ""}, {"\\-", "-"}, {"\\ ", " "},
                            {"\\e", "\\"}}) {
      for (size_t at = 0; (at = line.find(from, at)) != std::string::npos; at += std::strlen(to))
        line.replace(at, std::strlen(from), to);
    }
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
  }
  return words;
}

bool reads_within(const std::vector<std::string>& words, const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> wanted{std::istream_iterator<std::string>(in), {}};
  return std::search(words.begin(), words.end(), wanted.begin(), wanted.end()) != words.end();
}

// A manual page that groff renders without a warning, with its sections in
// the usual order.
void expect_manual_page(const std::string& page_file, const std::vector<std::string>& sections) {
  test::CommandResult groff = test::run_command({"/usr/bin/groff", "-man", "-Tutf8", "-ww", "-z", page_file});
  EXPECT_EQ(groff.status, 0) << page_file;
  EXPECT_EQ(groff.err, "") << page_file;
  std::vector<std::string> found;
  std::istringstream lines(test::read_text(page_file));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(".SH ", 0) == 0) found.push_back(line.substr(4));
  }
  EXPECT_EQ(found, sections) << page_file;
}

std::string complete(const std::string& script, const std::string& words) {
  return test::run_command({"/bin/bash", "-c",
                            "source \"$0\"; COMP_WORDS=(" + words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _${COMP_WORDS[0]}; echo \"${COMPREPLY[*]}\"",
                            script})
      .out;
}

// zebctl help COMMAND, the manual page and the completion script all come
// from the texts and tables --help uses: every command's call form and help
// text read in the page, and every option completes.
TEST_F(ZebctlUsageTest, HelpManualPageAndCompletionAgree) {
  std::string page_file = std::string(ZEBCTL_DOCS_DIR) + "/zebctl.1";
  expect_manual_page(page_file,
                     {"NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "EXIT STATUS", "EXAMPLES", "SEE ALSO"});
  std::vector<std::string> page = page_words(test::read_text(page_file));
  for (const char* command : {"status", "show", "tail", "publish", "follow"}) {
    std::string help = zebctl({command, "--help"}).out;
    EXPECT_EQ(zebctl({"help", command}).out, help) << command;
    size_t body = help.find("\n\n");
    size_t call = std::string("usage:").size();
    EXPECT_TRUE(reads_within(page, help.substr(call, body - call))) << command;
    EXPECT_TRUE(reads_within(page, help.substr(body))) << command;
  }
  std::string overview = zebctl({"--help"}).out;
  for (const char* status : {"\n  0    done\n", "\n  2    called wrongly", "\n  130  Ctrl-C ended"})
    EXPECT_NE(overview.find(status), std::string::npos) << status;
  std::string completion = std::string(ZEBCTL_DOCS_DIR) + "/zebctl.bash-completion";
  EXPECT_EQ(complete(completion, "zebctl ta"), "tail\n");
  EXPECT_EQ(complete(completion, "zebctl help fo"), "follow\n");
  EXPECT_EQ(complete(completion, "zebctl tail R M --c"), "--count\n");
  EXPECT_EQ(complete(completion, "zebctl publish R M --open"), "--open-price\n");
}

#ifdef ZEBBRIDGE
// zebbridge's page and completion come from its help and option table too:
// every option of --help is in both.
TEST_F(ZebctlUsageTest, ZebbridgeManualPageAndCompletionAgree) {
  std::string page_file = std::string(ZEBBRIDGE_DOCS_DIR) + "/zebbridge.1";
  expect_manual_page(page_file, {"NAME", "SYNOPSIS", "DESCRIPTION", "MODES", "OPTIONS", "EXIT STATUS", "EXAMPLES",
                                 "SEE ALSO"});
  std::vector<std::string> page = page_words(test::read_text(page_file));
  std::string completion = std::string(ZEBBRIDGE_DOCS_DIR) + "/zebbridge.bash-completion";
  std::istringstream help(test::run_command({ZEBBRIDGE, "--help"}).out);
  int options = 0;
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("  --", 0) != 0) continue;
    std::string option = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_NE(std::find(page.begin(), page.end(), option), page.end()) << option;
    EXPECT_NE(complete(completion, "zebbridge out R M " + option).find(option), std::string::npos) << option;
    ++options;
  }
  EXPECT_EQ(options, 15);
  EXPECT_EQ(complete(completion, "zebbridge o"), "out\n");
  EXPECT_EQ(complete(completion, "zebbridge in R M --tls-c"), "--tls-ca --tls-cert\n");
}
#endif

struct BadCall {
  std::vector<std::string> args;  // {root} and {master} stand for the test's own
  int status;
  std::string error;  // the whole line after "zebctl"
};

TEST_F(ZebctlUsageTest, BadCallsGetOneLineNamingTheProblem) {
  publish_up_to(1);
  writer.counter.close();
  const std::vector<BadCall> calls = {
      {{}, 2, ": missing command (see zebctl --help)"},
      {{"stats"}, 2, ": unknown command stats (see zebctl --help)"},
      {{"help", "stats"}, 2, ": help takes one command name (see zebctl --help)"},
      {{"status"}, 2, " status: missing ROOT (see zebctl status --help)"},
      {{"status", "{root}"}, 2, " status: missing MASTER (see zebctl status --help)"},
      {{"status", "{root}", "{master}", "extra"},
       2,
       " status: unexpected argument extra (see zebctl status --help)"},
      {{"status", "{root}", "{master}", "--jsno"},
       2,
       " status: unknown option --jsno (see zebctl status --help)"},
      {{"status", "{root}", "{master}", "--json", "--json"},
       2,
       " status: --json given twice (see zebctl status --help)"},
      {{"status", "{root}", "{master}", "--json=yes"},
       2,
       " status: --json takes no value (see zebctl status --help)"},
      {{"status", "{root}", "../etc"},
       2,
       " status: master name must not contain '/' or '\\': ../etc (see zebctl status --help)"},
      {{"status", "{root}", ""}, 2, " status: master name is empty. (see zebctl status --help)"},
      {{"status", "", "{master}"}, 2, " status: root is empty. (see zebctl status --help)"},
      {{"status", "{root}", "nobody"},
       1,
       " status: no channel of master nobody under {root}: {root}/nobody not found"},
      {{"status", "{root}/none", "{master}"}, 1, " status: root directory not found: {root}/none"},
      {{"show", "{root}", "{master}"}, 2, " show: missing N|latest (see zebctl show --help)"},
      {{"show", "{root}", "{master}", "first"},
       2,
       " show: N must be a whole number from 1 to 2147483647, not 'first' (see zebctl show --help)"},
      {{"show", "{root}", "{master}", "0"},
       2,
       " show: N must be a whole number from 1 to 2147483647, not '0' (see zebctl show --help)"},
      {{"show", "{root}", "{master}", "2"}, 1, " show: record 2 not found in {root}/{master}"},
      {{"show", "{root}", "nobody", "1"},
       1,
       " show: no channel of master nobody under {root}: {root}/nobody not found"},
      {{"tail", "{root}", "{master}", "--from"}, 2, " tail: --from needs a value (see zebctl tail --help)"},
      {{"tail", "{root}", "{master}", "--from", "-1"},
       2,
       " tail: --from must be a whole number from 1 to 2147483647, not '-1' (see zebctl tail --help)"},
      {{"tail", "{root}", "{master}", "--count", "1e3"},
       2,
       " tail: --count must be a whole number from 1 to 2147483647, not '1e3' (see zebctl tail --help)"},
      {{"tail", "{root}", "nobody"},
       1,
       " tail: no channel of master nobody under {root}: {root}/nobody not found"},
      {{"publish", "{root}", "{master}", "--ticket", "2147483648"},
       2,
       " publish: --ticket must be a whole number from -2147483648 to 2147483647, not '2147483648' (see "
       "zebctl "
       "publish --help)"},
      {{"publish", "{root}", "{master}", "--lot", "1e-400"},
       2,
       " publish: --lot is too close to 0 for a double, not '1e-400' (see zebctl publish --help)"},
      {{"publish", "{root}", "{master}", "--sl", "-1e400"},
       2,
       " publish: --sl must be a finite number, not '-1e400' (see zebctl publish --help)"},
      {{"publish", "{root}", "{master}", "--cmd", "99999999999999999999"},
       2,
       " publish: --cmd must be a whole number from -2147483648 to 2147483647, not '99999999999999999999' (see "
       "zebctl publish --help)"},
      {{"tail", "{root}", "{master}", "--count", "2147483648"},
       2,
       " tail: --count must be a whole number from 1 to 2147483647, not '2147483648' (see zebctl tail --help)"},
      {{"publish", "{root}", "{master}", "--lot", "nan"},
       2,
       " publish: --lot must be a finite number, not 'nan' (see zebctl publish --help)"},
      {{"publish", "{root}", "{master}", "--symbol", "ABCDEFGHIJKLMNOPQRST"},
       2,
       " publish: --symbol holds at most 19 characters, not 20 (see zebctl publish --help)"},
      {{"publish", "{root}", "{master}", "--side", "buy"},
       2,
       " publish: unknown option --side (see zebctl publish --help)"},
      {{"publish", "{root}/none", "{master}"}, 1, " publish: root directory not found: {root}/none"},
      {{"follow", "{root}", "copier"}, 2, " follow: missing MASTER (see zebctl follow --help)"},
      {{"follow", "{root}", "{master}", "{master}"},
       2,
       " follow: follower name must differ from the master name: its cursor would overwrite the master index "
       "(see "
       "zebctl follow --help)"},
      {{"follow", "{root}", ".zebtmp-x", "{master}"},
       2,
       " follow: follower name must not begin with \".zebtmp-\", which is reserved: .zebtmp-x (see zebctl "
       "follow "
       "--help)"},
      {{"follow", "{root}", "copier", "nobody"},
       1,
       " follow: no channel of master nobody under {root}: {root}/nobody not found"},
  };
  auto substitute = [&](std::string text) {
    for (auto [name, value] : {std::pair<std::string, std::string>{"{root}", root}, {"{master}", master}}) {
      for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), value);
    }
    return text;
  };
  for (const BadCall& call : calls) {
    std::vector<std::string> args;
    for (const std::string& arg : call.args) args.push_back(substitute(arg));
    test::CommandResult result = zebctl(args);
    std::string what = testing::PrintToString(call.args);
    EXPECT_EQ(result.status, call.status) << what;
    EXPECT_EQ(result.err, "zebctl" + substitute(call.error) + "\n") << what;
    EXPECT_EQ(result.out, "") << what;
  }
  EXPECT_FALSE(test::exists(root + "/none"));
  EXPECT_FALSE(test::exists(root + "/nobody"));
  EXPECT_FALSE(test::exists(index_path("copier")));
}

}  // namespace
}  // namespace zeb
