// The channel page: the catalogue fetched from a loopback service, the wall's tiles and pictures,
// pointer-driven scrolling and the choice of a channel, on offscreen widgets.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "channels/filmstrip.h"
#include "channels/ui/channelview.h"
#include "channels/ui/channelviewcontroller.h"
#include "channels/ui/kkstationview.h"
#include "channels/ui/pubfilmview.h"
#include "fake_service.h"
#include "golden.h"
#include "main_loop.h"
#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

// A channel picture: a diagonal gradient in the channel's own hue with a light disc.
QImage picture(int hue) {
  QImage image(120, 120, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 120, 120);
  gradient.setColorAt(0, QColor::fromHsv(hue, 160, 230));
  gradient.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 120));
  painter.fillRect(image.rect(), gradient);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(255, 255, 255, 90));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QPointF(60, 46), 26, 26);
  painter.end();
  return image;
}

// The service. serveCatalogue(n): channels "c0".. named "频道<n>", ids replaced where `ids` says;
// channel "c<n>" has a picture, "nopic" a reply without "l", "broken" a picture that does not
// decode. Without a catalogue the service answers 404.
struct ChannelService : test::FakeService {
  void serveCatalogue(int count, const std::vector<std::pair<int, std::string>>& ids = {}) {
    std::string body = "{\"entries\":[";
    for (int i = 0; i < count; ++i) {
      std::string id = "c" + std::to_string(i);
      for (const auto& [index, other] : ids) {
        if (index == i) id = other;
      }
      body += (i ? "," : "") + std::string("{\"id\":\"") + id + "\",\"name\":\"频道" + std::to_string(i) +
              "\",\"intro\":\"x\"}";
      const std::string info = "/radios/" + id + "/images.json";
      if (id == "nopic") {
        serve(info, "{}");
        continue;
      }
      serve(info, "{\"l\":\"" + url("/pictures/" + id) + "\"}");
      if (id == "broken") {
        serve("/pictures/broken", "not a picture", "image/png");
      } else {
        servePicture("/pictures/" + id, picture(std::atoi(id.c_str() + 1) * 47 % 360));
      }
    }
    serve("/radios/selected.json", body + "]}");
  }
};

class ChannelPage : public ::testing::Test {
 protected:
  void SetUp() override {
    defaults = std::make_unique<UserDefaults>(home.configHome() + "/tonvera/defaults.plist");
  }

  // Shows the page (which fetches the catalogue) and waits until the wall has been placed.
  void open() {
    controller = std::make_unique<ChannelViewController>(defaults.get());
    controller->view()->setParent(&backdrop);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    ASSERT_TRUE(runMainLoopUntil([&] { return strip().originX() != 0 || tileCount() > 0; }, 10s));
  }
  PubFilmView& strip() { return *controller->collectView(); }
  int tileCount() { return static_cast<int>(strip().findChildren<KKStationView*>().size()); }

  test::TempHome home;
  std::unique_ptr<UserDefaults> defaults;
  ChannelService service;
  test::Backdrop backdrop;  // outlives the controller, which takes its view back
  std::unique_ptr<ChannelViewController> controller;
};

TEST_F(ChannelPage, NineteenChannelsLineUpAlongTheStripWhoseMiddleShowsFirst) {
  service.serveCatalogue(19, {{4, "nopic"}, {9, "broken"}});
  open();
  ASSERT_EQ(tileCount(), 19);
  EXPECT_EQ(strip().geometry(), QRect(-589, 0, 1690, 116));  // shows the strip from 589 to 1101
  for (int i = 0; i < 19; ++i) {
    KKStationView* tile = strip().tileAt(i);
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->geometry(), QRect(80 + 85 * i, 18, 80, 80)) << i;  // the last one ends at 1690
    EXPECT_EQ(tile->info().find("name")->toString(), "频道" + std::to_string(i));
  }

  // Pictures arrive in parallel; a channel without one keeps its placeholder.
  ASSERT_TRUE(runMainLoopUntil([&] { return strip().channelsImageInfo().size() == 17; }, 20s));
  ASSERT_TRUE(runMainLoopUntil([&] { return !strip().tileAt(18)->showsPlaceholder(); }, 5s));
  for (int i = 0; i < 19; ++i) {
    EXPECT_EQ(strip().tileAt(i)->showsPlaceholder(), i == 4 || i == 9) << i;
  }
}

// A catalogue that is damaged leaves the wall with the tiles it can make (the first case: no reply).
TEST_F(ChannelPage, BadCataloguesLeaveTheWallWithTheTilesTheyCanMake) {
  const struct {
    const char* name;
    std::optional<std::string> body;
    int tiles;
  } cases[] = {
      {"NoReply", std::nullopt, 0},
      {"NoEntries", "{\"count\":3}", 0},
      {"EntriesNotAList", "{\"entries\":{\"id\":\"1\"}}", 0},
      {"ReplyIsAList", "[{\"id\":\"1\",\"name\":\"a\"}]", 0},
      {"EntriesThatAreNoRecords", "{\"entries\":[1,null,\"x\",{\"id\":\"c1\",\"name\":\"一\"},[]]}", 1},
      {"NameOfTenThousandCharacters",
       "{\"entries\":[{\"id\":\"c1\",\"name\":\"" + std::string(10000, 'n') + "\"}]}", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.body) service.serve("/radios/selected.json", *c.body);
    backdrop.hide();  // each page fetches the catalogue when it comes on screen
    open();
    EXPECT_EQ(tileCount(), c.tiles);
    EXPECT_EQ(strip().geometry().size(), QSize(1690, 116));
  }
}

// Channels that all fit in the frame are centred in the view as far as the strip's start allows;
// with more the strip's middle shows as far as the tiles reach.
TEST(StripPlacement, FewChannelsAreBroughtIntoViewManyKeepTheMiddle) {
  const std::pair<int, double> cases[] = {{0, -589}, {1, 0},     {3, 0},       {6, -76.5},
                                          {7, -238}, {11, -578}, {12, -589}, {19, -589}};
  for (const auto& [channels, origin] : cases)
    EXPECT_DOUBLE_EQ(film::startOrigin(channels), origin) << channels << " channels";
}

TEST(EdgeScrolling, SpeedGrowsIntoTheEdgeZonesAndTheStripStopsAtItsEnds) {
  struct Speed {
    double x;
    std::optional<double> speed;
  };
  for (const Speed& s : {Speed{0, 10}, Speed{50, 5}, Speed{99, 0.1}, Speed{100, std::nullopt},
                         Speed{412, std::nullopt}, Speed{462, -5}, Speed{512, -10}}) {
    const auto speed = film::speedAt(s.x);
    ASSERT_EQ(speed.has_value(), s.speed.has_value()) << "x " << s.x;
    if (speed) {
      EXPECT_NEAR(*speed, *s.speed, 1e-9) << "x " << s.x;
    }
  }
  struct Step {
    const char* what;
    double origin, speed, next;
  };
  for (const Step& s :
       {Step{"left end, moving right", 0, 5, 0}, Step{"right end, moving left", -1178, -5, -1178},
        Step{"middle, moving right", -589, 10, -574}, Step{"middle, moving left", -589, -10, -604},
        Step{"from the right end: twice the speed", -1178, 10, -1158},
        Step{"from the left end: twice the speed", 0, -10, -20}, Step{"stops at the left end", -3, 10, 0},
        Step{"stops at the right end", -1175, -10, -1178}}) {
    EXPECT_DOUBLE_EQ(film::nextOrigin(s.origin, s.speed), s.next) << s.what;
  }
}

void movePointer(QWidget* w, QPointF local) {
  QMouseEvent move(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
}

TEST_F(ChannelPage, ThePointerInAnEdgeZoneScrollsTheStripUntilItLeavesTheZone) {
  service.serveCatalogue(19);
  open();
  // Pointer at frame x 30 (the strip starts at -589, so that is strip x 619).
  movePointer(&strip(), QPointF(619, 50));
  EXPECT_TRUE(strip().isScrolling());
  ASSERT_TRUE(runMainLoopUntil([&] { return strip().originX() > -560; }, 5s));
  // Into the middle zone, or off the strip from an edge zone: it stays where it is.
  movePointer(&strip(), QPointF(256 - strip().x(), 50));
  EXPECT_FALSE(strip().isScrolling());
  movePointer(&strip(), QPointF(30 - strip().x(), 50));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&strip(), &leave);
  EXPECT_FALSE(strip().isScrolling());
}

// The pointer rests in an edge zone while the strip ticks on: the strip stops where its tiles end
// (six channels all fit: it does not move), and a click at the pointer chooses the tile under it,
// the last one at the right edge.
TEST_F(ChannelPage, TheStripNeverScrollsItsTilesOutOfViewAndATileUnderThePointerCanBeClicked) {
  const struct {
    int channels;
    int frameX;
    double origin;  // after the ticks
  } cases[] = {{6, 470, -76.5}, {7, 420, -238}, {7, 90, 0}, {19, 470, -1178}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, pointer at " << c.frameX);
    service.serveCatalogue(c.channels);
    backdrop.hide();
    open();
    std::vector<std::string> chosen;
    ScopedObserver observer(NotificationCenter::defaultCenter(), "STATIONChanged", nullptr, [&](const Notification& n) {
      chosen.push_back(n.userInfo.find("0")->find("id")->toString());
    });
    const QPoint at = controller->containView()->mapTo(&backdrop, QPoint(c.frameX, 58));
    QTest::mouseMove(&backdrop, at);
    for (int tick = 0; tick < 300; ++tick) strip().moveActin();
    EXPECT_DOUBLE_EQ(strip().originX(), c.origin);
    const auto* under = qobject_cast<KKStationView*>(backdrop.childAt(at));
    ASSERT_NE(under, nullptr);
    QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, at);  // to the widget under the pointer
    EXPECT_EQ(chosen, std::vector<std::string>{"c" + std::to_string(under->tag())});
    if (c.frameX > 256) {
      EXPECT_EQ(under->tag(), c.channels - 1);
    }
  }
}

TEST_F(ChannelPage, GoldenSixChannelsInViewAndTheChannelPlaying) {
  service.serveCatalogue(6, {{2, "broken"}});
  defaults->set("kSelectStation",
                PlistValue(PlistValue::Dict{{"id", PlistValue("c3")}, {"name", PlistValue("频道3")}}));
  open();
  ASSERT_TRUE(runMainLoopUntil([&] { return strip().channelsImageInfo().size() == 5; }, 20s));
  QCoreApplication::processEvents();
  EXPECT_DOUBLE_EQ(strip().originX(), -76.5);
  EXPECT_GOLDEN(backdrop, "channels/channel-page");
}

}  // namespace
}  // namespace tonvera
