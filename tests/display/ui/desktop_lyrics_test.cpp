// The desktop lyrics window: its lines and fill, when it wakes, the pointer, and how it looks.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>
#include <QToolButton>

#include "display/lyricsmodel.h"
#include "display/ui/desktoplyricsview.h"
#include "golden.h"
#include "main_loop.h"
#include "ui_helpers.h"

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

  l.view.hide();
  EXPECT_FALSE(l.view.frameTimerActive());

  l.model.setLrc(u"untimed text");  // no timed lines: the title again
  l.model.processLrc();
  l.view.lyricsChanged();
  EXPECT_EQ(l.rows(), Rows("歌名", "歌手"));
  l.view.setSong(QString(), QString());
  EXPECT_EQ(l.rows(), Rows());
}

void enter(QWidget& w) { test::enter(&w, QPointF(20, 60)); }

TEST(DesktopLyrics, DragsShowsItsButtonsOnHoverAndLockedLetsThePointerThrough) {
  Lyrics l;
  l.view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&l.view));
  const QPoint start = l.view.pos();
  test::mouse(&l.view, QEvent::MouseButtonPress, {40, 60}, Qt::LeftButton);
  test::mouse(&l.view, QEvent::MouseMove, {90, 30}, Qt::LeftButton);
  test::mouse(&l.view, QEvent::MouseButtonRelease, {90, 30}, Qt::NoButton);
  EXPECT_EQ(l.view.pos(), start + QPoint(50, -30));

  enter(l.view);
  const auto buttons = l.view.findChildren<QToolButton*>();
  ASSERT_EQ(buttons.size(), 4);  // smaller, larger, the lock, close
  EXPECT_TRUE(buttons[2]->isVisible());
  buttons[2]->click();
  EXPECT_TRUE(l.view.isLocked());
  EXPECT_TRUE(l.view.windowFlags() & Qt::WindowTransparentForInput);
  enter(l.view);
  EXPECT_FALSE(l.view.hovered());
  l.view.setLocked(false);
  EXPECT_FALSE(l.view.windowFlags() & Qt::WindowTransparentForInput);
  enter(l.view);
  EXPECT_TRUE(l.view.hovered());
}

// The window over a backdrop, as a screenshot would show it, at both scales.
void expectOver(QWidget& view, const QColor& from, const QColor& to, const char* name) {
  test::Backdrop backdrop(from, to);
  backdrop.resize(view.size());
  for (qreal scale : {1.0, 2.0}) {
    QImage image = test::renderAt(backdrop, scale);
    QPainter painter(&image);
    view.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    EXPECT_EQ(test::compareWithGolden(image, QString::fromUtf8(name), scale), "");
  }
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
  expectOver(l.view, QColor(250, 250, 246), QColor(214, 226, 240), "display/desktop-lyrics-light");
  enter(l.view);
  expectOver(l.view, QColor(20, 26, 60), QColor(75, 42, 120), "display/desktop-lyrics-dark-hover");
}

}  // namespace
}  // namespace tonvera
