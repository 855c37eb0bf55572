// The help page's strip: which picture the arrows and dots lead to, the next arrow's last-picture
// look and its way back to the now-playing page.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "controls/buttons.h"
#include "controls/navigator.h"
#include "golden.h"
#include "help/helpviewcontroller.h"

namespace tonvera {
namespace {

struct CountingNavigator : PageNavigator {
  int showMains = 0;
  void selectViewControllerIndex(int) override {}
  void showMain() override { ++showMains; }
};

// Presses a button the way the pointer does: in, down, up.
void click(NovaColorButton* button) {
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(button, &enter);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
}

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
    CountingNavigator nav;
    setAppNavigator(&nav);
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
    setAppNavigator(nullptr);
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
