// tonvera-cli: dispatches to the registered subcommands.
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "platform/log.h"
#include "platform/serialqueue.h"

namespace tonvera::cli {

namespace {
std::vector<const CliCommand*>& registry() {
  static std::vector<const CliCommand*> list;
  return list;
}
}  // namespace

CliCommand::CliCommand(std::string n, std::string u, std::string s, std::function<int(const Args&)> r)
    : name(std::move(n)), usage(std::move(u)), summary(std::move(s)), run(std::move(r)) {
  registry().push_back(this);
}

const std::vector<const CliCommand*>& commands() {
  auto& list = registry();
  std::sort(list.begin(), list.end(), [](const CliCommand* a, const CliCommand* b) { return a->name < b->name; });
  return list;
}

}  // namespace tonvera::cli

namespace {

void printHelp(FILE* out) {
  std::fprintf(out, "usage: tonvera-cli [--verbose] COMMAND [ARGS...]\n\nTonvera's command-line tools "
                   "(--verbose: the debug lines of the log too).\n\ncommands:\n");
  for (const auto* c : tonvera::cli::commands()) {
    std::fprintf(out, "  %-12s %s\n  %-12s   %s\n", c->name.c_str(), c->usage.c_str(), "", c->summary.c_str());
  }
  std::fprintf(out, "  %-12s show this help\n", "--help");
}

}  // namespace

int main(int argc, char** argv) {
  const bool verbose = argc > 1 && !std::strcmp(argv[1], "--verbose");
  if (verbose) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    printHelp(stdout);
    return argc < 2 ? 2 : 0;
  }
  QCoreApplication app(argc, argv);
  if (verbose) tonvera::enableVerboseLog();
  const std::string name = argv[1];
  for (const auto* c : tonvera::cli::commands()) {
    if (c->name != name) continue;
    const int status = c->run(tonvera::cli::Args(argv + 2, argv + argc));
    tonvera::finishBackgroundWork(status);
    return status;
  }
  std::fprintf(stderr, "tonvera-cli: unknown command '%s'\n\n", name.c_str());
  printHelp(stderr);
  return 2;
}
