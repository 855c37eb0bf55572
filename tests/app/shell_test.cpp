// The application shell with real widgets offscreen: page switching, media keys, defaults, quitting,
// the favourites lists in the window, and the window's golden screenshots.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <memory>
#include <vector>

#include "app/ui/appdelegate.h"
#include "app/ui/kkwindow.h"
#include "app/ui/shellviews.h"
#include "controls/pageviews.h"
#include "controls/tabview.h"
#include "golden.h"
#include "main_loop.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "radio/ui/nowplayingcontroller.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "shared_state.h"
#include "stats/tonverareport.h"
#include "taste/tnmanager.h"
#include "taste/ui/loveviewcontroller.h"
#include "taste/ui/tastetableview.h"
#include "taste/ui/tnartistslistviewcontroller.h"
#include "temp_home.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

// A page whose controller records what the shell tells it; page 0 observes its view's pointer.
struct RecordingPage : SimplePageController<MainView>, PointerObserver {
  int coverViews = 0, moves = 0, exits = 0;
  explicit RecordingPage(bool nowPlaying) {
    if (nowPlaying) pageView()->setObj(this);
  }
  void showCoverView() override { ++coverViews; }
  void mouseMoved(const QPointF&) override { ++moves; }
  void mouseExited() override { ++exits; }
};

struct Shell {
  KKWindow window;
  std::vector<RecordingPage*> pages;
  std::unique_ptr<AppDelegate> delegate;

  explicit Shell(bool placeholders = false, bool reportUsage = false) {
    AppDelegate::Options options;
    options.pages.playRadio = false;
    options.reportUsage = reportUsage;
    options.mediaKeysOnBus = false;
    if (!placeholders) {
      options.makePage = [this](int i) {
        auto page = std::make_unique<RecordingPage>(i == 0);
        pages.push_back(page.get());
        return page;
      };
    }
    // Away from the offscreen pointer (at the screen's origin), so nothing starts out hovered.
    window.move(200, 200);
    delegate = std::make_unique<AppDelegate>(window, options);
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  QWidget* view(int i) const { return delegate->controllers()[static_cast<size_t>(i)]->view(); }
  void settle() const {
    EXPECT_TRUE(runMainLoopUntil([this] { return !delegate->isAnimating(); }, 5s));
  }
  std::vector<int> xs(std::initializer_list<int> indexes) const {
    std::vector<int> out;
    for (int i : indexes) out.push_back(view(i)->x());
    return out;
  }
};

void leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(w, &e);
}

TEST(PageSwitching, PagesSlideInFromTheLeftAndTheNowPlayingPageMovesRightByAPageEachTime) {
  Shell shell;
  shell.delegate->showMain();  // already there: nothing moves, nothing is told
  EXPECT_FALSE(shell.delegate->isAnimating());
  EXPECT_EQ(shell.pages[0]->coverViews, 0);

  shell.delegate->selectViewControllerIndex(1);
  EXPECT_EQ(shell.view(1)->x(), -512);
  shell.settle();
  EXPECT_EQ(shell.xs({0, 1}), (std::vector<int>{512, 0}));

  shell.delegate->selectViewControllerIndex(2);  // without returning first
  shell.settle();
  EXPECT_EQ(shell.xs({0, 2}), (std::vector<int>{1024, 0}));

  shell.delegate->showMain();
  EXPECT_EQ(shell.view(2)->x(), -512);  // leaves at once
  shell.settle();
  EXPECT_EQ(shell.xs({0, 2}), (std::vector<int>{0, -512}));
  EXPECT_EQ(shell.delegate->selectIndex(), 0);
  EXPECT_EQ(shell.pages[0]->coverViews, 1);

  // Selections in quick succession end where slow ones do.
  shell.delegate->selectViewControllerIndex(3);
  shell.delegate->selectViewControllerIndex(4);
  shell.settle();
  EXPECT_EQ(shell.xs({0, 3, 4}), (std::vector<int>{1024, 0, 0}));
}

TEST(PageSwitching, PointerLeavingAPageReturnsToNowPlayingButLeavingNowPlayingOnlyTellsItsController) {
  Shell shell;
  for (int page : {1, 2, 3, 4}) {
    shell.delegate->selectViewControllerIndex(page);
    shell.settle();
    leave(shell.view(page));
    EXPECT_EQ(shell.delegate->selectIndex(), 0) << "page " << page;
    shell.settle();
    EXPECT_EQ(shell.view(0)->x(), 0);
  }
  EXPECT_EQ(shell.pages[0]->coverViews, 4);
  shell.pages[0]->moves = shell.pages[0]->exits = 0;
  test::enter(shell.view(0), QPointF(5, 5));
  leave(shell.view(0));
  EXPECT_EQ(shell.pages[0]->moves, 1);  // entering counts as a move
  EXPECT_EQ(shell.pages[0]->exits, 1);
  EXPECT_EQ(shell.delegate->selectIndex(), 0);
}

TEST(MediaKeysInTheWindow, QtMediaKeysActWhileTheWindowIsActive) {
  Shell shell;
  shell.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&shell.window));
  std::vector<int> states;  // the state each posted playback change asks for
  ScopedObserver observer(NotificationCenter::defaultCenter(), kPlayBackChangedNotification, nullptr,
                          [&](const Notification& n) {
                            const PlistValue* s = n.userInfo.find("state");
                            states.push_back(s ? static_cast<int>(s->toInteger(-1)) : -1);
                          });
  const auto key = [&](QEvent::Type type, int code, bool autoRepeat = false) {
    QKeyEvent event(type, code, Qt::NoModifier, QString(), autoRepeat);
    QCoreApplication::sendEvent(&shell.window, &event);
  };
  key(QEvent::KeyPress, Qt::Key_MediaTogglePlayPause);
  key(QEvent::KeyRelease, Qt::Key_MediaTogglePlayPause);
  key(QEvent::KeyPress, Qt::Key_MediaNext);
  key(QEvent::KeyPress, Qt::Key_MediaNext, /*autoRepeat=*/true);
  key(QEvent::KeyRelease, Qt::Key_MediaNext);
  key(QEvent::KeyPress, Qt::Key_MediaPrevious);
  key(QEvent::KeyPress, Qt::Key_MediaPlay);
  key(QEvent::KeyPress, Qt::Key_VolumeUp);
  EXPECT_EQ(states, (std::vector<int>{2, 3, 3, 1, 2}));
}

TEST(Defaults, ThePreferencesDefaultsAreRegistered) {
  test::TempHome home;
  UserDefaults defaults(home.configHome() + "/tonvera/defaults.plist");
  AppDelegate::registerDefaults(defaults);
  EXPECT_EQ(defaults.object("BNREmptyDocumentFlag"), PlistValue(false));
  EXPECT_TRUE(defaults.object("BNRTableBackgroundColor").has_value());
}

TEST(Shutdown, TheUsageReporterIsToldOnceAtTermination) {
  test::TempHome home;
  test::forgetReporter();
  Shell shell(/*placeholders=*/true, /*reportUsage=*/true);
  AppDelegate& delegate = *shell.delegate;
  // The reports still unsent at termination are kept for the next launch, with the end report.
  const std::string kept = TonveraReport::reportFilePath();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(kept)));
  delegate.applicationWillTerminate();
  const auto first = readPlistFile(kept);
  ASSERT_EQ(first.status, PlistFileRead::Status::Ok);
  delegate.applicationWillTerminate();  // told once: the second call adds nothing
  EXPECT_EQ(readPlistFile(kept).value, first.value);
  test::forgetReporter();
}

TEST(Window, CtrlCommaOpensThePreferencesCtrlQAndTheWindowManagersCloseQuit) {
  test::RecordingNavigator nav;
  KKWindow window;
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_EQ(nav.preferences, 1);
  QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(nav.quits, 1);
  window.setWindowState(Qt::WindowMaximized);  // never zooms
  EXPECT_TRUE(runMainLoopUntil([&] { return !(window.windowState() & Qt::WindowMaximized); }, 5s));
}

// Entry i of a list: a song "歌i" by "手i", or the artist "手i".
void record(int list, int i) {
  const std::string n = std::to_string(i);
  const Record artist{{"id", PlistValue("a" + n)}, {"name", PlistValue("手" + n)}};
  const auto song = TNSong::create(Record{{"id", PlistValue("s" + n)},
                                          {"name", PlistValue("歌" + n)},
                                          {"artist", PlistValue(PlistValue::Array{PlistValue(artist)})}});
  TNManager& store = TNManager::sharedManager();
  if (list == 0) store.likeArtist(TNArtist::create(artist), true);
  if (list == 1) store.hateArtist(TNArtist::create(artist), true);
  if (list == 3) store.likeSong(song, true);
  if (list == 4) store.hateSong(song, true);
}

// Opens 喜好 from the grid, then the list's item in its side menu (`menuY`: window points from the
// bottom), with the pointer; every row on screen must be drawn (a song row's grey ground, an artist
// tile's picture), and the list must hold `rows` rows.
void expectListDrawn(Shell& shell, int list, int menuY, int rows) {
  // The now-playing page's controls fade through opacity effects, which render the window's pages.
  static_cast<NowPlayingController&>(*shell.delegate->controllers()[0]).configControl();
  QWindow* window = shell.window.windowHandle();
  QTest::mouseMove(window, QPoint(214, 42));
  QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(214, 42));
  shell.settle();
  QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(90, 256 - menuY));
  auto& page = static_cast<LoveViewController&>(*shell.delegate->controllers()[3]);
  ASSERT_EQ(page.index(), list);
  auto* table = page.currentVC()->findChild<TasteTableView*>();
  EXPECT_EQ(table->rowCount(), rows);
  const QImage shown = shell.window.grab().toImage();
  int onScreen = 0;
  for (TableCell* cell : table->visibleCells()) {
    QWidget* ground = cell->findChild<ArtistView*>();
    if (!ground) ground = cell;
    const QPoint at = ground->mapTo(&shell.window, QPoint(4, 4)) * shown.devicePixelRatio();
    EXPECT_NE(shown.pixelColor(at), QColor(Qt::white)) << "row " << cell->tag();
    onScreen += cell->isVisible();
  }
  EXPECT_EQ(onScreen, std::min(rows, list >= 3 ? 13 : 4));  // rows of 20 or 84 points in 256
}

TEST(FavouritesFlow, EveryLikedOrDislikedEntryShowsInItsListWithinASessionAndAfterARestart) {
  const struct {
    int list, menuY;
    std::vector<int> counts;
  } cases[] = {{3, 70, {1, 6, 20}}, {4, 60, {6}}, {0, 190, {1, 4, 5, 9}}, {1, 165, {5}}};
  for (const auto& c : cases) {
    for (const int count : c.counts) {
      SCOPED_TRACE(testing::Message() << "list " << c.list << ", " << count << " entries");
      test::TempHome home;
      test::forgetTasteStore();
      const int rows = c.list >= 3 ? count : (count + 3) / 4;
      {
        Shell shell(/*placeholders=*/true);
        for (int i = 1; i <= count; ++i) record(c.list, i);
        expectListDrawn(shell, c.list, c.menuY, rows);
      }
      test::forgetTasteStore();  // quit; the next start reads the files
      Shell restarted(/*placeholders=*/true);
      expectListDrawn(restarted, c.list, c.menuY, rows);
    }
  }
  test::forgetTasteStore();
}

TEST(WindowGolden, ThePlaceholderPagesInTheWindow) {
  Shell shell(/*placeholders=*/true);
  EXPECT_GOLDEN(shell.window, "app/window-nowplaying");
  const char* names[] = {"app/window-channels", "app/window-private", "app/window-favourites",
                         "app/window-help"};
  for (int page = 1; page <= 4; ++page) {
    shell.delegate->selectViewControllerIndex(page);
    shell.settle();
    EXPECT_GOLDEN(shell.window, names[page - 1]);
    shell.delegate->showMain();
    shell.settle();
  }
}

TEST(WindowGolden, SideMenuWithTheLayoutGradientOnItsLastItem) {
  QWidget page;
  page.resize(512, 256);
  auto* view = new LoveView(&page);
  view->resize(512, 256);
  auto* menu = new TabView(view, TabView::Gradient::Layout);
  menu->setSelectIndex(4);
  EXPECT_GOLDEN(page, "app/tabview-layout");
}

}  // namespace
}  // namespace tonvera
