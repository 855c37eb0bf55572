// The now-playing page: the pointer's rules for the controls, the taste buttons on a playing track
// (scripted service on loopback, real player on the null sink, real taste store in a temporary
// HOME), the progress updates of a hidden window, and the page's look.
#include <gtest/gtest.h>

#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>
#include <cstdlib>

#include "controls/buttons.h"
#include "controls/geometry.h"
#include "display/ui/coverimageview.h"
#include "display/ui/progressnumview.h"
#include "display/ui/slideshowview.h"
#include "golden.h"
#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "radio/ui/nowplayingcontroller.h"
#include "radio/ui/nowplayingview.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "scripted_service.h"
#include "taste/tnmanager.h"
#include "temp_home.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using Layer = NowPlayingController::Layer;
using test::click;
using test::ScriptedTrack;

MainViewController::Options quickOptions() {
  MainViewController::Options o;
  o.configControlDelay = o.skipGuard = 0ms;
  return o;
}

// The page in a shown window, its radio not started.
struct Page {
  QWidget window;
  std::unique_ptr<NowPlayingController> page;
  explicit Page(MainViewController::Options options = quickOptions()) {
    window.resize(NowPlayingView::kWidth, NowPlayingView::kHeight);
    page = std::make_unique<NowPlayingController>(&window, std::move(options), false);
    page->setLayerFadeMs(0);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  // The controls configured and the track's texts set.
  void showTrack(const std::string& name, const std::string& artist, const std::string& album) {
    page->configControl();
    page->setTrackNameText(name);
    page->setArtistText(artist);
    page->setAlbumText(album);
  }
  // A pointer position given bottom-up in the page, as the view reports it.
  void pointAt(qreal x, qreal y) { page->mouseMoved(geometry::fromBottomUp(x, y, 0, 0, 256).topLeft()); }
};

TEST(PointerRules, LayersAndTasteTargetFollowThePointer) {
  const struct {
    const char* name;
    qreal x, y;
    qreal control, tracks, artists;
    bool isTrack;
    qreal tasteY;  // the taste strip's y, bottom-up
  } cases[] = {
      {"UpperRightActsOnTheArtist", 300, 150, 0.5, 1, 1, false, 200},
      {"LowerRightActsOnTheTrack", 300, 100, 0.5, 1, 1, true, 54},
      {"RightHalfStartsAt256", 256, 139, 0.5, 1, 1, true, 54},
      {"LeftHalfShowsTheGrid", 255, 200, 1, 0.5, 0.5, true, 54},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Page p;
    p.page->configControl();
    p.pointAt(c.x, c.y);
    EXPECT_EQ(p.page->layerOpacity(Layer::Control), c.control);
    EXPECT_EQ(p.page->layerOpacity(Layer::TrackButtons), c.tracks);
    EXPECT_EQ(p.page->layerOpacity(Layer::ArtistButtons), c.artists);
    EXPECT_EQ(p.page->isTrack(), c.isTrack);
    const QWidget* love = p.page->loveButton();
    EXPECT_EQ(QRect(love->mapTo(p.page->pageView(), QPoint(0, 0)), love->size()),
              geometry::frameFromBottomUp(436, c.tasteY + 6, 30, 30, 256));
    p.page->mouseExited();
    for (Layer l : {Layer::Control, Layer::TrackButtons, Layer::ArtistButtons})
      EXPECT_EQ(p.page->layerOpacity(l), 0);
  }
}

// The title takes the panel's width and is cut only when it does not fit; while the taste buttons
// stand beside it (the pointer high on the right half) it ends 4 points before them.
TEST(PointerRules, TheTitleUsesTheWidthThereIs) {
  Page p;
  p.showTrack("Last Train Home", "Echo Park", "Night Drives");
  TextField* title = p.page->trackNameField();
  const std::pair<qreal, QString> cases[] = {{100, "Last Train Home"}, {150, "Last Train H…"}};
  for (const auto& [y, shown] : cases) {
    p.pointAt(300, y);
    EXPECT_EQ(title->shownText(), shown) << "pointer at y " << y;
  }
  p.page->mouseExited();  // the buttons go: the whole width again
  EXPECT_EQ(title->shownText(), QStringLiteral("Last Train Home"));
}

class PlayingPage : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
    service.start();
    for (const std::string id : {"a", "b", "c"})
      service.addTrack(
          {.id = id, .name = "歌曲" + id, .artist = "歌手" + id, .audio = ScriptedTrack::Audio::Long});
    service.setChannel("c1", {"a", "b", "c"});
    UserDefaults::standard().set(kSelectStationKey, test::channelRecord("c1", "频道"));
    for (const char* name : {"likeSong", "likeArtist", "hateSong", "hateArtist"}) {
      observers.emplace_back(NotificationCenter::defaultCenter(), name, nullptr,
                             [this, name](const Notification&) { posted.push_back(name); });
    }
  }

  std::string current() {
    const auto& song = p->page->controller().curSong();
    return song ? song->trackId().value_or("") : "";
  }
  bool playing(const std::string& id) {
    auto* s = p->page->controller().streamer();
    return current() == id && s && s->isPlaying();
  }
  void start() {
    p = std::make_unique<Page>();
    p->page->awakeFromNib();
    ASSERT_TRUE(test::waitFor([&] { return playing("a") && p->page->controlsConfigured(); }));
  }

  test::TempHome home;
  test::ScriptedService service;
  std::unique_ptr<Page> p;
  std::vector<ScopedObserver> observers;
  std::vector<std::string> posted;
};

TEST_F(PlayingPage, LikeTwiceLikesThenUnlikesAndPostsEachTime) {
  start();
  p->pointAt(300, 100);
  EXPECT_FALSE(p->page->loveButton()->isOn());
  click(p->page->loveButton());
  EXPECT_TRUE(TNManager::sharedManager().isLove(*p->page->controller().curSong()));
  EXPECT_TRUE(p->page->loveButton()->isOn());
  click(p->page->loveButton());
  EXPECT_FALSE(TNManager::sharedManager().isLove(*p->page->controller().curSong()));
  EXPECT_EQ(posted, (std::vector<std::string>{"likeSong", "likeSong"}));

  p->pointAt(300, 150);  // upper part: the artist
  click(p->page->loveButton());
  EXPECT_TRUE(TNManager::sharedManager().isLove(*p->page->controller().curSong()->firstArtist()));
  p->pointAt(300, 100);
  EXPECT_FALSE(p->page->loveButton()->isOn());  // the track is not liked
  p->pointAt(300, 150);
  EXPECT_TRUE(p->page->loveButton()->isOn());
  EXPECT_EQ(posted.back(), "likeArtist");
}

TEST_F(PlayingPage, DislikeOnTheTrackRecordsItAndSkipsTheTrack) {
  start();
  p->pointAt(300, 100);
  click(p->page->delButton());
  EXPECT_EQ(posted, (std::vector<std::string>{"hateSong"}));
  EXPECT_EQ(TNManager::sharedManager().hateSongs().size(), 1u);
  ASSERT_TRUE(test::waitFor([&] { return playing("b"); }));
}

// Straight from the lower heart (or bin) to where the upper one stands: the strip moves up under
// the pointer at rest, and a click there acts on the artist (disliked, its track is skipped).
TEST_F(PlayingPage, TasteButtonsAnswerThePointerWhereItIsAfterTheStripMovedUnderIt) {
  start();
  QWindow* window = p->window.windowHandle();
  for (const int x : {451, 481}) {  // the heart, the bin
    QTest::mouseMove(window, QPoint(x, 181));
    ASSERT_TRUE(p->page->isTrack());
    QTest::mouseMove(window, QPoint(x, 35));
    ASSERT_FALSE(p->page->isTrack());
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(x, 35));
  }
  EXPECT_EQ(posted, (std::vector<std::string>{"likeArtist", "hateArtist"}));
  ASSERT_TRUE(test::waitFor([&] { return playing("b"); }));
}

TEST_F(PlayingPage, HiddenWindowStopsTheProgressUpdatesButNotPlayback) {
  start();
  auto& controller = p->page->controller();
  EXPECT_TRUE(controller.progressTimerActive());
  for (const bool minimise : {false, true}) {
    SCOPED_TRACE(minimise ? "minimised" : "hidden");
    if (minimise) {
      p->window.showMinimized();
    } else {
      p->window.hide();
    }
    EXPECT_FALSE(controller.progressTimerActive());  // no wake-ups while nobody looks
    EXPECT_FALSE(p->page->albumCover()->slideshowTicking());
    p->page->readoutSetString("9:99 / 9:99");
    // Long enough for three ticks of a running update: the track has played on by 0.35 s.
    const double before = controller.streamer()->progress();
    ASSERT_TRUE(test::waitFor([&] { return controller.streamer()->progress() > before + 0.35; }));
    EXPECT_EQ(p->page->progressNumView()->string(), QStringLiteral("9:99 / 9:99"));  // nothing updated it
    EXPECT_TRUE(playing("a"));
    p->window.showNormal();
    EXPECT_TRUE(controller.progressTimerActive());
    EXPECT_TRUE(p->page->albumCover()->slideshowTicking());
    EXPECT_NE(p->page->progressNumView()->string(), QStringLiteral("9:99 / 9:99"));
  }
}

QImage coverPicture() {
  QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  QLinearGradient g(0, 0, 300, 300);
  g.setColorAt(0, QColor(250, 170, 90));
  g.setColorAt(1, QColor(200, 60, 110));
  painter.fillRect(image.rect(), g);
  painter.setPen(QPen(QColor(255, 255, 255, 180), 6));
  painter.drawEllipse(QPointF(150, 150), 90, 90);
  return image;
}

TEST(PageLook, PlayingWithCoverLyricsAndTheControlsShown) {
  Page p;
  p.showTrack("夜空中最亮的星", "逃跑计划 ", "世界");
  p.page->setPositionText("03:03");
  p.page->readoutSetString("1:01 / 4:05");
  p.page->readoutDisplay();
  p.page->sliderSetProgress(25);
  p.page->lrcSetLrc(std::string("[00:50.00]夜空中最亮的星 能否听清\n[01:05.00]那仰望的人 心底的孤独和叹息"));
  p.page->lrcProcess();
  p.page->lrcSetTimestamp(61.9);
  p.page->lrcDisplay();
  p.page->refreshImage(coverPicture(), false);
  p.page->albumCover()->slideshowView()->setAnimationSwitch([] { return false; });
  p.page->albumCover()->advanceSlideshow();
  p.page->playButtonSetOn(false);
  EXPECT_GOLDEN(*p.page->pageView(), "radio/nowplaying-playing");
  p.pointAt(300, 100);
  EXPECT_GOLDEN(*p.page->pageView(), "radio/nowplaying-playing-hover");
}

TEST(PageLook, UntimedLyricsAndLongTextsStayInTheirPlaces) {
  Page p;
  const std::string longText(3000, 'x');
  p.showTrack(longText, longText, longText);
  p.page->lrcSetLrc(std::string("[ti:歌名]\n第一行歌词\n第二行歌词\n") + std::string(10000, 'y'));
  p.page->lrcProcess();
  EXPECT_TRUE(p.page->lrcScrollView()->isVisible());
  EXPECT_GOLDEN(*p.page->pageView(), "radio/nowplaying-untimed");
}

}  // namespace
}  // namespace tonvera
