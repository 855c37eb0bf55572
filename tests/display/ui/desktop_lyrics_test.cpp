// The desktop lyrics window: the page's line and the next, the fill over the line's time, when it
// wakes, the pointer (drag, lock, font buttons) and its golden screenshots over light and dark.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include "display/lyricsmodel.h"
#include "display/ui/desktoplyricsview.h"
#include "golden.h"
#include "main_loop.h"
#include "platform/mainqueue.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

struct Lyrics {
  LineLrcModel model;
  double at = 0;
  DesktopLyricsView view;

  Lyrics() {
    model.setLrc(u"[00:10]第一句歌词\n[00:20]第二句\n");
    model.processLrc();
    view.setSource({&model, [this] { return at; }, [] { return 0.0; }});
    view.move(300, 300);  // away from the offscreen pointer at the origin
  }
  // The page moves on to the line for `seconds` and shows it.
  void pageAt(double seconds) {
    model.setTimestamp(seconds);
    model.chooseLine();
    view.lyricsChanged();
  }
  std::pair<QString, QString> rows() const { return {view.firstRow(), view.secondRow()}; }
};

using Rows = std::pair<QString, QString>;

TEST(DesktopLyrics, ShowsThePagesLineFillsWithPlaybackAndWakesOnlyWhilePlayingOnScreen) {
  Lyrics l;
  EXPECT_EQ(l.rows(), Rows());  // no song: no text
  l.view.setSong(QStringLiteral("歌名"), QStringLiteral("歌手"));
  EXPECT_EQ(l.rows(), Rows("歌名", "歌手"));  // the lyrics are still the last track's
  l.view.setLyricsReady(true);
  l.at = 12.5;
  l.pageAt(10);
  EXPECT_EQ(l.rows(), Rows("第一句歌词", "第二句"));
  EXPECT_DOUBLE_EQ(l.view.fill(), 0.25);

  l.view.setPlaying(true);
  EXPECT_FALSE(l.view.frameTimerActive());  // not on screen
  l.view.show();
  EXPECT_TRUE(l.view.frameTimerActive());
  l.at = 15;
  ASSERT_TRUE(runMainLoopUntil([&] { return l.view.fill() == 0.5; }, 5s));
  l.at = 21;  // the page has not moved on yet: the line stays, full, and nothing wakes
  ASSERT_TRUE(runMainLoopUntil([&] { return !l.view.frameTimerActive(); }, 5s));
  EXPECT_EQ(l.rows(), Rows("第一句歌词", "第二句"));
  l.pageAt(21);
  EXPECT_EQ(l.rows(), Rows("第二句", ""));
  EXPECT_TRUE(l.view.frameTimerActive());

  l.view.setPlaying(false);  // paused: the line stays, still
  EXPECT_FALSE(l.view.frameTimerActive());
  EXPECT_EQ(l.rows(), Rows("第二句", ""));
  l.view.setPlaying(true);
  l.view.hide();
  EXPECT_FALSE(l.view.frameTimerActive());

  l.model.setLrc(u"untimed text");  // no timed lines: the title again
  l.model.processLrc();
  l.view.lyricsChanged();
  EXPECT_EQ(l.rows(), Rows("歌名", "歌手"));
  l.view.setSong(QString(), QString());
  EXPECT_EQ(l.rows(), Rows());
}

void mouse(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
  QMouseEvent e(type, at, w.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &e);
}

void enter(QWidget& w) {
  QEnterEvent e(QPointF(20, 60), QPointF(20, 60), w.mapToGlobal(QPointF(20, 60)));
  QCoreApplication::sendEvent(&w, &e);
}

TEST(DesktopLyrics, DragsShowsItsButtonsOnHoverAndLockedLetsThePointerThrough) {
  Lyrics l;
  l.view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&l.view));
  const QPoint start = l.view.pos();
  mouse(l.view, QEvent::MouseButtonPress, {40, 60}, Qt::LeftButton);
  mouse(l.view, QEvent::MouseMove, {90, 30}, Qt::LeftButton);
  mouse(l.view, QEvent::MouseButtonRelease, {90, 30}, Qt::NoButton);
  EXPECT_EQ(l.view.pos(), start + QPoint(50, -30));

  enter(l.view);
  const auto buttons = l.view.findChildren<QToolButton*>();
  ASSERT_EQ(buttons.size(), 4);
  for (QToolButton* b : buttons) EXPECT_TRUE(b->isVisible());
  std::vector<int> sizes;
  QObject::connect(&l.view, &DesktopLyricsView::fontSizeChanged, [&](int px) { sizes.push_back(px); });
  buttons[1]->click();  // larger
  buttons[0]->click();  // smaller
  buttons[0]->click();
  const int base = DesktopLyricsView::kDefaultFontSize;
  const int step = DesktopLyricsView::kFontStep;
  EXPECT_EQ(sizes, std::vector<int>({base + step, base, base - step}));

  buttons[2]->click();  // the lock
  EXPECT_TRUE(l.view.isLocked());
  EXPECT_TRUE(l.view.isVisible());
  EXPECT_EQ(l.view.pos(), start + QPoint(50, -30));
  EXPECT_TRUE(l.view.testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_TRUE(l.view.windowFlags() & Qt::WindowTransparentForInput);
  EXPECT_FALSE(l.view.hovered());
  enter(l.view);
  EXPECT_FALSE(l.view.hovered());
  l.view.setLocked(false);
  EXPECT_FALSE(l.view.windowFlags() & Qt::WindowTransparentForInput);
  enter(l.view);
  EXPECT_TRUE(l.view.hovered());
}

// The window over a backdrop, as a screenshot would show it.
QImage over(QWidget& view, const QColor& from, const QColor& to, qreal scale) {
  test::Backdrop backdrop(from, to);
  backdrop.resize(view.size());
  QImage image = test::renderAt(backdrop, scale);
  QPainter painter(&image);
  view.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

TEST(DesktopLyricsGolden, HalfSungOverLightAndHoveredOverDark) {
  Lyrics l;
  l.view.setColor(QColor(Qt::yellow));
  l.view.setSong(QStringLiteral("歌名"), QStringLiteral("歌手"));
  l.view.setLyricsReady(true);
  l.at = 14;
  l.pageAt(10);
  l.view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&l.view));
  for (qreal scale : {1.0, 2.0}) {
    EXPECT_EQ(test::compareWithGolden(over(l.view, QColor(250, 250, 246), QColor(214, 226, 240), scale),
                                      QStringLiteral("display/desktop-lyrics-light"), scale),
              "");
  }
  enter(l.view);
  for (qreal scale : {1.0, 2.0}) {
    EXPECT_EQ(test::compareWithGolden(over(l.view, QColor(20, 26, 60), QColor(75, 42, 120), scale),
                                      QStringLiteral("display/desktop-lyrics-dark-hover"), scale),
              "");
  }
}

}  // namespace
}  // namespace tonvera
