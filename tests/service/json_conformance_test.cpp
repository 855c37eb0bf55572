// The reader over the JSON test suite's parsing files: "y_" files must parse, "n_" files must fail,
// "i_" files may go either way but must end cleanly. The "y_" files for which the reader's own rules
// decide otherwise are listed below with the rule; every "n_" file fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/fileutil.h"
#include "service/jsonvalue.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

struct SuiteFile {
  std::string name;
  std::string bytes;
};

std::vector<SuiteFile> suiteFiles(char prefix) {
  std::vector<SuiteFile> files;
  const fs::path dir = fs::path(TONVERA_SHARED_DIR) / "jsontestsuite" / "test_parsing";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 2 || name[0] != prefix || name[1] != '_') continue;
    auto bytes = readFile(entry.path().string());
    if (bytes) files.push_back({name, std::move(*bytes)});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

// First byte after leading whitespace.
char outerMostStart(const std::string& bytes) {
  const auto at = bytes.find_first_not_of(" \t\r\n");
  return at == std::string::npos ? '\0' : bytes[at];
}

// Deepest container nesting outside strings.
int nestingDepth(const std::string& bytes) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// "y_" files that fail here, each with the rule that decides it and the exact message.
const std::map<std::string, std::string>& acceptedFilesThatFail() {
  static const std::string kNotOuter = " not expected before outer-most array or object";
  static const std::map<std::string, std::string> files = {
      // The outer-most value must be an array or an object.
      {"y_string_space.json", "Token 'string'" + kNotOuter},
      {"y_structure_lonely_false.json", "Token 'boolean'" + kNotOuter},
      {"y_structure_lonely_null.json", "Token 'null'" + kNotOuter},
      {"y_structure_lonely_string.json", "Token 'string'" + kNotOuter},
      {"y_structure_lonely_true.json", "Token 'boolean'" + kNotOuter},
      {"y_structure_string_empty.json", "Token 'string'" + kNotOuter},
      // A number is complete only when a following character has been seen; these files end with it.
      {"y_structure_lonely_int.json", "Unexpected end of input"},
      {"y_structure_lonely_negative_real.json", "Unexpected end of input"},
  };
  return files;
}

TEST(JsonConformance, SuiteIsPresent) {
  EXPECT_GT(suiteFiles('y').size(), 90u);
  EXPECT_GT(suiteFiles('n').size(), 150u);
  EXPECT_GT(suiteFiles('i').size(), 20u);
}

TEST(JsonConformance, AcceptedFilesParse) {
  int parsed = 0, listed = 0;
  for (const auto& f : suiteFiles('y')) {
    std::string error;
    auto value = parseJson(f.bytes, &error);
    auto rule = acceptedFilesThatFail().find(f.name);
    if (rule != acceptedFilesThatFail().end()) {
      EXPECT_FALSE(value) << f.name;
      EXPECT_EQ(error, rule->second) << f.name;
      ++listed;
      continue;
    }
    const char start = outerMostStart(f.bytes);
    ASSERT_TRUE(start == '[' || start == '{') << f.name << " has a scalar outer-most value; list it above";
    if (nestingDepth(f.bytes) > 32) {
      EXPECT_EQ(error, "Input depth exceeds max depth of 32") << f.name;
      continue;
    }
    EXPECT_TRUE(value) << f.name << ": " << error;
    if (value) {
      EXPECT_EQ(start == '[', value->isArray()) << f.name;
    }
    ++parsed;
  }
  EXPECT_EQ(listed, static_cast<int>(acceptedFilesThatFail().size()));
  EXPECT_GT(parsed, 80);
}

TEST(JsonConformance, RejectedFilesFail) {
  for (const auto& f : suiteFiles('n')) {
    std::string error;
    EXPECT_FALSE(parseJson(f.bytes, &error)) << f.name;
    EXPECT_FALSE(error.empty()) << f.name;
  }
}

TEST(JsonConformance, ImplementationDefinedFilesEndCleanly) {
  for (const auto& f : suiteFiles('i')) {
    std::string error;
    auto value = parseJson(f.bytes, &error);
    EXPECT_NE(value.has_value(), !error.empty()) << f.name << ": exactly one of value and error";
  }
}

}  // namespace
}  // namespace tonvera
