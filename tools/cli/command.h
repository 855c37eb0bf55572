#pragma once
// Subcommands of tonvera-cli. A command file registers itself with a static CliCommand object:
//
//   static tonvera::cli::CliCommand kJson{"json", "[--kinds] FILE", "parse JSON and print it", runJson};
//
// run() receives the arguments after the command name and answers the exit status. A
// QCoreApplication exists while it runs (main thread).

#include <functional>
#include <string>
#include <vector>

namespace tonvera::cli {

using Args = std::vector<std::string>;

struct CliCommand {
  CliCommand(std::string name, std::string usage, std::string summary, std::function<int(const Args&)> run);
  std::string name;
  std::string usage;
  std::string summary;
  std::function<int(const Args&)> run;
};

const std::vector<const CliCommand*>& commands();

}  // namespace tonvera::cli
