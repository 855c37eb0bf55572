// The desktop's side of the program: the install files pass the desktop's validators, one running
// window per user, the window's place on screen, the tray's menu, closing into the tray.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>
#include <optional>

#include "app/ui/kkwindow.h"
#include "app/ui/singleinstance.h"
#include "app/ui/trayicon.h"
#include "app/ui/windowplace.h"
#include "keys/spmediakeytap.h"
#include "platform/userdefaults.h"
#include "temp_home.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

const QString kDesktopDir = QStringLiteral(TONVERA_SOURCE_DIR "/resources/desktop/");

// Runs a validator on a file; skipped (with the reason) when the validator is not installed.
void expectValid(const QString& program, const QStringList& args) {
  if (QStandardPaths::findExecutable(program).isEmpty()) {
    GTEST_SKIP() << program.toStdString() << " is not installed (scripts/setup.sh installs it)";
  }
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ":\n" << p.readAll().toStdString();
}

TEST(Install, TheDesktopFileAndTheMetainfoPassTheirValidators) {
  expectValid(QStringLiteral("desktop-file-validate"),
              {kDesktopDir + QStringLiteral("org.tonvera.Tonvera.desktop")});
  expectValid(QStringLiteral("appstreamcli"),
              {QStringLiteral("validate"), QStringLiteral("--no-net"),
               kDesktopDir + QStringLiteral("org.tonvera.Tonvera.metainfo.xml")});
}

TEST(SingleInstance, ASecondStartAsksTheFirstToRaiseAndNoEarlierRunBlocksTheNext) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("tonvera.sock"));
  // A crashed run: a bound socket file whose process is gone (the descriptor closed, file kept).
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const QByteArray native = QFile::encodeName(path);
  std::memcpy(addr.sun_path, native.constData(), native.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);

  auto first = std::make_unique<SingleInstance>(path);
  ASSERT_TRUE(first->start());
  int raised = 0;
  QObject::connect(first.get(), &SingleInstance::raiseRequested, first.get(), [&] { ++raised; });
  SingleInstance second(path);
  EXPECT_FALSE(second.start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 10000));

  // The first ends normally: it removes its socket and the next start is the only one again.
  first.reset();
  EXPECT_FALSE(QFileInfo::exists(path));
  SingleInstance third(path);
  EXPECT_TRUE(third.start());
}

TEST(WindowPlace, TheWholeWindowLandsOnAScreenThatIsThere) {
  const QRect left(0, 0, 1920, 1080), right(1920, 0, 1280, 1024);
  const struct {
    const char* name;
    QPoint wanted;
    QList<QRect> screens;
    QPoint expected;
  } cases[] = {
      {"InsideStaysPut", {300, 200}, {left}, {300, 200}},
      {"OffTheRightEdgeMovesIn", {1800, 100}, {left}, {1408, 100}},
      {"AboveTheTopMovesDown", {100, -80}, {left}, {100, 0}},
      {"OnAScreenThatIsGoneGoesToTheFirst", {2500, 300}, {left}, {1408, 300}},
      {"OnTheSecondScreenStaysThere", {2500, 300}, {left, right}, {2500, 300}},
      {"AcrossTwoScreensGoesToTheOneWithMore", {1800, 900}, {left, right}, {1920, 768}},
      {"FarAwayGoesToTheFirst", {-5000, 9000}, {left, right}, {0, 824}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(clampToScreens(c.wanted, QSize(512, 256), c.screens), c.expected) << c.name;
}

TEST(WindowPlaceDefaults, TheOriginIsKeptInTheSettingsAndDamagedValuesAreIgnored) {
  test::TempHome home;
  UserDefaults& defaults = UserDefaults::standard();
  EXPECT_FALSE(savedWindowOrigin(defaults));
  QWidget window;
  window.resize(512, 256);
  window.move(120, 90);
  saveWindowPosition(window, defaults);
  EXPECT_EQ(savedWindowOrigin(defaults), QPoint(120, 90));
  defaults.set(kWindowOriginKey, PlistValue("somewhere"));
  EXPECT_FALSE(savedWindowOrigin(defaults));
}

TEST(Tray, TheMenuPlaysSkipsLikesRaisesAndQuitsAndTheTooltipNamesTheSong) {
  std::vector<std::string> done;
  TrayIcon tray({[&] { done.push_back("playPause"); }, [&] { done.push_back("next"); },
                 [&] { done.push_back("like"); }, [&] { done.push_back("raise"); },
                 [&] { done.push_back("quit"); }});
  EXPECT_FALSE(tray.likeAction()->isEnabled()) << "nothing to like before a song";
  const QImage shown = tray.icon().icon().pixmap(22, 22).toImage();
  EXPECT_EQ(qAlpha(shown.pixel(11, 11)), 255) << "the program's icon, not an empty square";
  tray.setNowPlaying(NowPlayingInfo{"5", "夜航", {"林海", "Mira"}, "北方", "", 0, false, ""});
  EXPECT_EQ(tray.icon().toolTip(), "夜航 — 林海 / Mira");
  for (QAction* action : tray.menu()->actions()) action->trigger();  // separators do nothing
  EXPECT_EQ(done, std::vector<std::string>({"playPause", "next", "like", "raise", "quit"}));
  EXPECT_FALSE(tray.likeAction()->isChecked()) << "checked only once the like is stored";
  Q_EMIT tray.icon().activated(QSystemTrayIcon::Trigger);
  EXPECT_EQ(done.back(), "raise");
  tray.setNowPlaying(NowPlayingInfo{});
  EXPECT_EQ(tray.icon().toolTip(), "Tonvera");
  EXPECT_FALSE(tray.likeAction()->isChecked());
  EXPECT_FALSE(tray.likeAction()->isEnabled());
}

TEST(WindowClose, HidesIntoTheTrayOrQuitsThroughTheNormalShutdown) {
  test::RecordingNavigator navigator;
  for (const std::optional<bool> keepRunning :
       {std::optional<bool>(), std::optional(true), std::optional(false)}) {
    KKWindow window;
    if (keepRunning) window.setKeepRunningOnClose([&] { return *keepRunning; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int before = navigator.quits;
    window.close();
    QCoreApplication::processEvents();  // a quit is asked for on the next turn of the loop
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(navigator.quits - before, keepRunning.value_or(false) ? 0 : 1);
  }
}

}  // namespace
}  // namespace tonvera
