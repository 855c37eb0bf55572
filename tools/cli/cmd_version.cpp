// tonvera-cli version: prints the program's version.
#include <cstdio>

#include "command.h"

namespace {
int runVersion(const tonvera::cli::Args&) {
  std::printf("tonvera 0.1.0\n");
  return 0;
}
const tonvera::cli::CliCommand kVersion{"version", "", "print the version", runVersion};
}  // namespace
