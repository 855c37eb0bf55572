// The button family, the page grid and the help page's strip, driven with real pointer events on
// offscreen widgets.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <vector>

#include "controls/buttons.h"
#include "controls/controlview.h"
#include "controls/resources.h"
#include "golden.h"
#include "help/helpviewcontroller.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

// A top-level host so enter and leave events reach the buttons.
struct Host {
  QWidget window;
  Host() {
    window.resize(300, 300);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

using test::click;
using test::enter;

TEST(Buttons, ReleaseInsideActsReleaseAfterDraggingOutDoesNot) {
  Host host;
  auto* button = new NovaColorButton(&host.window);
  button->setGeometry(10, 10, 40, 40);
  button->show();
  int actions = 0;
  button->addTarget([&](NovaColorButton*) { ++actions; });

  enter(button);
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(actions, 1);

  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 20));
  QMouseEvent drag(QEvent::MouseMove, QPointF(100, 100), button->mapToGlobal(QPointF(100, 100)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(button, &drag);
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_EQ(actions, 1);
}

TEST(ControlGrid, SquaresOpenTheirPagesAndTheCentreShowsTheCaptionOfTheSquareEntered) {
  test::RecordingNavigator nav;
  Host host;
  auto* grid = new ControlView(&host.window);
  grid->show();
  // Squares by tag; row 0 is the bottom row.
  std::vector<NovaControlButton*> byTag(9, nullptr);
  for (auto* b : grid->findChildren<NovaControlButton*>()) {
    byTag[static_cast<size_t>(b->tag())] = b;
  }
  ASSERT_TRUE(byTag[4] && byTag[6] && byTag[0]);

  for (int tag : {0, 2, 5, 6, 7, 8}) click(byTag[static_cast<size_t>(tag)], QPoint(40, 40));
  EXPECT_EQ(nav.selected, (std::vector<int>{4, 1, 2, 3}));
  EXPECT_EQ(nav.preferences, 1);           // 设置
  EXPECT_EQ(byTag[4]->text(), QString());  // the page opened over the grid takes its caption along

  enter(byTag[6]);
  EXPECT_EQ(byTag[4]->text(), QStringLiteral("公共频道"));
  enter(byTag[4]);
  EXPECT_EQ(byTag[4]->text(), QString());
  // The login square opens nothing: no caption, and it looks the same under the pointer.
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(byTag[5], &leave);
  const QImage atRest = byTag[5]->grab().toImage();
  enter(byTag[5]);
  EXPECT_EQ(byTag[4]->text(), QString());
  EXPECT_EQ(byTag[5]->grab().toImage(), atRest);
}

// (A cut's point size at scale 2 shows in the goldens of the buttons, the readout and the help page.)
TEST(Resources, AMissingPictureGivesNothing) {
  EXPECT_EQ(ResourcePicture::load(QStringLiteral("no-such-picture.png")), nullptr);
}

// The help page's strip: which picture the arrows and dots lead to, the next arrow's last-picture
// look and its way back to the now-playing page.
TEST(HelpIndex, ArrowsAndDotsChooseThePicture) {
  const struct {
    const char* name;
    std::vector<const char*> presses;  // "prev", "next", "dot0".."dot3"
    int index;
    bool nextOn;
    int showMains;
  } cases[] = {
      {"PreviousOnTheFirstPictureStays", {"prev"}, 0, false, 0},
      {"NextTwiceThenPrevious", {"next", "next", "prev"}, 1, false, 0},
      {"NextToTheLastTurnsTheArrowOn", {"next", "next", "next"}, 3, true, 0},
      {"NextOnTheLastReturnsAndKeepsTheIndex", {"dot3", "next"}, 3, true, 1},
      {"TheCurrentDotAgainStaysOn", {"dot0"}, 0, false, 0},
      {"DotZeroFromTheLastMovesBackThree", {"dot3", "dot0"}, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingNavigator nav;
    HelpViewController help;
    help.view()->show();
    for (const std::string press : c.presses) {
      if (press == "prev")
        click(help.prevButton());
      else if (press == "next")
        click(help.nextButton());
      else
        click(help.dot(press.back() - '0'));
    }
    EXPECT_EQ(help.index(), c.index);
    EXPECT_EQ(help.nextButton()->isOn(), c.nextOn);
    EXPECT_EQ(nav.showMains, c.showMains);
    for (int k = 0; k < HelpViewController::kPictures; ++k) EXPECT_EQ(help.dot(k)->isOn(), k == c.index) << k;
    // Once the moves end, the picture of the index fills the page.
    EXPECT_TRUE(QTest::qWaitFor([&] { return help.picture(help.index())->x() == 0; }, 2000));
  }
}

TEST(HelpPage, LooksRightOnEachPicture) {
  HelpViewController help;
  help.view()->show();
  EXPECT_GOLDEN(*help.view(), "help/help-first");
  click(help.dot(3));
  ASSERT_TRUE(QTest::qWaitFor([&] { return help.picture(3)->x() == 0; }, 2000));
  EXPECT_GOLDEN(*help.view(), "help/help-last");
}

}  // namespace
}  // namespace tonvera
