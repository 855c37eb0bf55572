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

struct Step {
  const char* name;
  std::vector<const char*> presses;  // "prev", "next", "dot0".."dot3"
  int index;
  bool nextOn;
  int showMains;
};

void PrintTo(const Step& c, std::ostream* os) { *os << c.name; }
class HelpIndex : public testing::TestWithParam<Step> {};

TEST_P(HelpIndex, ArrowsAndDotsChooseThePicture) {
  CountingNavigator nav;
  setAppNavigator(&nav);
  HelpViewController help;
  help.view()->show();
  for (const char* p : GetParam().presses) {
    const std::string press = p;
    if (press == "prev") click(help.prevButton());
    else if (press == "next") click(help.nextButton());
    else click(help.dot(press.back() - '0'));
  }
  EXPECT_EQ(help.index(), GetParam().index);
  EXPECT_EQ(help.nextButton()->isOn(), GetParam().nextOn);
  EXPECT_EQ(nav.showMains, GetParam().showMains);
  for (int k = 0; k < HelpViewController::kPictures; ++k) {
    EXPECT_EQ(help.dot(k)->isOn(), k == GetParam().index) << "dot " << k;
  }
  // Once the moves end, the picture of the index fills the page.
  EXPECT_TRUE(QTest::qWaitFor([&] { return help.picture(help.index())->x() == 0; }, 2000));
  setAppNavigator(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Help, HelpIndex,
    testing::Values(Step{"PreviousOnTheFirstPictureStays", {"prev"}, 0, false, 0},
                    Step{"NextTwiceThenPrevious", {"next", "next", "prev"}, 1, false, 0},
                    Step{"NextToTheLastTurnsTheArrowOn", {"next", "next", "next"}, 3, true, 0},
                    Step{"NextOnTheLastReturnsAndKeepsTheIndex", {"dot3", "next"}, 3, true, 1},
                    Step{"TheCurrentDotAgainStaysOn", {"dot0"}, 0, false, 0},
                    Step{"DotZeroFromTheLastMovesBackThree", {"dot3", "dot0"}, 0, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

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
