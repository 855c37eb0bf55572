// `tonvera-cli json` run as a program: canonical line and exit 0, or the error text and exit 1.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include "temp_home.h"

#ifdef TONVERA_CLI_PATH
namespace tonvera {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

CliRun runCli(const QStringList& args, const std::string& input = {}) {
  QProcess p;
  p.start(QStringLiteral(TONVERA_CLI_PATH), QStringList{QStringLiteral("json")} + args);
  EXPECT_TRUE(p.waitForStarted(10000));
  p.write(input.data(), static_cast<qint64>(input.size()));
  p.closeWriteChannel();
  EXPECT_TRUE(p.waitForFinished(10000));
  return {p.exitCode(), p.readAllStandardOutput().toStdString()};
}

TEST(CliJson, PrintsCanonicalLineOrErrorText) {
  struct C {
    const char* what;
    std::string input;
    bool kinds;
    bool fromStdin;  // else from a file
    int status;
    std::string out;
  };
  const C table[] = {
      {"keys sorted, no spaces", "{ \"b\" : [1, 2.5],\n \"a\" : \"中文\" }", false, false, 0, "{\"a\":\"中文\",\"b\":[1,25e-1]}\n"},
      {"number kinds", "[1,-5,1.5e2]", true, true, 0, "[u:1,i:-5,d:15e1]\n"},
      {"error text only", "[1,]", false, false, 1, "Token 'end of array' not expected as array value\n"},
  };
  test::TempHome home;
  const std::string path = home.path() + "/in.json";
  for (const auto& c : table) {
    test::writeTextFile(path, c.input);
    QStringList args;
    if (c.kinds) args << QStringLiteral("--kinds");
    args << (c.fromStdin ? QStringLiteral("-") : QString::fromStdString(path));
    const CliRun run = runCli(args, c.fromStdin ? c.input : std::string());
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.out, c.out) << c.what;
  }
}

}  // namespace
}  // namespace tonvera
#endif
