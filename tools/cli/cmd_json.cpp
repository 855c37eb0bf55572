// tonvera-cli json [--kinds] FILE: reads FILE ("-" for standard input) with the JSON reader and prints
// the value as one canonical line (exit 0), or the reader's error text as the only line (exit 1).
// With --kinds every number shows its kind: u:123, i:-5, d:15e1.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include "command.h"
#include "platform/fileutil.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace {

std::optional<std::string> readInput(const std::string& file) {
  if (file != "-") return tonvera::readFile(file);
  std::string bytes((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (std::cin.bad()) return std::nullopt;
  return bytes;
}

void printLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

int runJson(const tonvera::cli::Args& args) {
  bool kinds = false;
  std::optional<std::string> file;
  for (const auto& a : args) {
    if (a == "--kinds") {
      kinds = true;
    } else if (!file && (a == "-" || a.empty() || a[0] != '-')) {
      file = a;
    } else {
      std::fprintf(stderr, "usage: tonvera-cli json [--kinds] FILE\n");
      return 2;
    }
  }
  if (!file) {
    std::fprintf(stderr, "usage: tonvera-cli json [--kinds] FILE\n");
    return 2;
  }
  auto bytes = readInput(*file);
  if (!bytes) {
    std::fprintf(stderr, "tonvera-cli json: cannot read %s\n", file->c_str());
    return 2;
  }
  std::string error;
  auto value = tonvera::JSONValue(*bytes, &error);
  if (!value) {
    printLine(error);
    return 1;
  }
  printLine(tonvera::toCanonicalJson(*value, kinds));
  return 0;
}

const tonvera::cli::CliCommand kJson{"json", "[--kinds] FILE", "parse a JSON file (- for standard input) and print it",
                                     runJson};

}  // namespace
