// The window's right-click menu and the preferences through Qt's Wayland plug-in, run by
// wayland_test.sh inside a headless weston. The clicks are synthetic: headless weston has no input
// devices, so there is no input serial for a grabbing popup and Qt maps the menu as a top-level window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>

#include "app/ui/appdelegate.h"
#include "app/ui/kkwindow.h"
#include "keys/ui/preferencecontroller.h"
#include "main_loop.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

QStringList gWarnings;  // warnings from Qt itself (not the program's own log)
QtMessageHandler gPrevious = nullptr;

void recordWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg && !QByteArray(context.category).startsWith("tonvera.")) {
    gWarnings << text;
  }
  if (gPrevious) gPrevious(type, context, text);
}

// The compositor's picture of its screen, by hand only.
void screenshot(const QString& name) {
  const QString folder = qEnvironmentVariable("TONVERA_WESTON_SHOTS");
  if (folder.isEmpty()) return;
  QProcess shooter;
  shooter.setWorkingDirectory(folder);
  shooter.start(QStringLiteral("weston-screenshooter"), {});
  // The program keeps answering the compositor meanwhile.
  EXPECT_TRUE(runMainLoopUntil([&] { return shooter.state() == QProcess::NotRunning; }, 10s));
  const QStringList shots = QDir(folder).entryList({QStringLiteral("wayland-screenshot-*.png")}, QDir::Files);
  ASSERT_EQ(shots.size(), 1) << "weston --debug is needed for its screenshooter";
  QDir(folder).remove(name);
  QDir(folder).rename(shots.front(), name);
}

TEST(WaylandWindow, TheRightClickMenuMapsAndItsPreferencesItemOpensThePreferencesWindow) {
  if (QGuiApplication::platformName() != QLatin1String("wayland")) GTEST_SKIP() << "not on Wayland";
  test::TempHome home;
  gPrevious = qInstallMessageHandler(recordWarnings);
  KKWindow window;
  AppDelegate::Options options;
  options.pages.playRadio = false;
  options.reportUsage = false;
  options.mediaKeysOnBus = false;
  AppDelegate delegate(window, options);
  delegate.applicationDidFinishLaunching();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  screenshot(QStringLiteral("tonvera-weston.png"));

  // The menu runs its own loop: looked at and answered from inside it.
  bool mapped = false;
  QTimer::singleShot(0, &window, [&] {
    QMenu* menu = nullptr;
    mapped = runMainLoopUntil(
        [&] {
          menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          return menu && menu->windowHandle() && menu->windowHandle()->isExposed();
        },
        5s);
    if (!menu) return;
    screenshot(QStringLiteral("tonvera-weston-menu.png"));
    const QList<QAction*> items = menu->actions();
    const auto preferences =
        std::find_if(items.begin(), items.end(), [](QAction* a) { return a->text() == "偏好设置"; });
    if (!mapped || preferences == items.end()) {
      menu->close();
      return;
    }
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, menu->actionGeometry(*preferences).center());
  });
  // An empty area of the now-playing page, right of the song's title.
  QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, QPoint(500, 128));
  EXPECT_TRUE(mapped) << "the menu did not appear on screen";

  PreferenceController* preferences = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* p = qobject_cast<PreferenceController*>(w)) preferences = p;
  }
  ASSERT_NE(preferences, nullptr) << "偏好设置 opened nothing";
  EXPECT_TRUE(QTest::qWaitForWindowExposed(preferences));
  screenshot(QStringLiteral("tonvera-weston-preferences.png"));
  qInstallMessageHandler(gPrevious);
  EXPECT_EQ(gWarnings, QStringList());
}

}  // namespace
}  // namespace tonvera
