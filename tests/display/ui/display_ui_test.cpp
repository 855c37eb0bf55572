// The now-playing display's views: the progress bar, repaints, the cover slideshow and its transitions.
#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <map>

#include "controls/resources.h"
#include "display/ui/coverimageview.h"
#include "display/ui/kkslideview.h"
#include "display/ui/linelrcview.h"
#include "display/ui/progressnumview.h"
#include "display/ui/slideshowtransitions.h"
#include "display/ui/slideshowview.h"
#include "golden.h"
#include "main_loop.h"
#include "ui_helpers.h"

namespace tonvera {
namespace {

TEST(ProgressBar, PressDragReleaseSendsOneSeekWithTheUnclampedPosition) {
  KKSlideView bar;
  bar.resize(200, 12);
  std::vector<std::tuple<bool, bool, bool, double>> actions;  // down, entered, seek, progress
  bar.addTarget([&](KKSlideView* s) {
    actions.emplace_back(s->isDown(), s->isEntered(), s->isSeek(), s->getProgress());
  });

  test::enter(&bar);
  test::mouse(&bar, QEvent::MouseButtonPress, {0, 6}, Qt::LeftButton);
  bar.setProgress(30);  // playback while held: the drag wins
  EXPECT_DOUBLE_EQ(bar.getProgress(), 0);
  test::mouse(&bar, QEvent::MouseMove, {100, 6}, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(bar.getProgress(), 50);
  test::mouse(&bar, QEvent::MouseMove, {250, 6}, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(bar.getProgress(), 125);
  test::mouse(&bar, QEvent::MouseButtonRelease, {250, 6}, Qt::NoButton);

  EXPECT_EQ(std::count_if(actions.begin(), actions.end(), [](const auto& a) { return std::get<2>(a); }), 1);
  EXPECT_EQ(actions.back(), std::make_tuple(false, true, true, 125.0));
  bar.setProgress(40);  // released: playback moves it again
  EXPECT_DOUBLE_EQ(bar.getProgress(), 40);
}

struct Paints : QObject {
  std::map<QObject*, std::vector<QRect>> rects;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) rects[watched].push_back(static_cast<QPaintEvent*>(event)->rect());
    return false;
  }
};

// The page ticks ten times a second; each tick repaints only what changed on screen.
TEST(PageRepaints, ASteadyLineNothingTheReadoutItsGlyphRowTheBarThePixelItMoved) {
  using namespace std::chrono_literals;
  QWidget window;
  window.resize(300, 200);
  auto* bar = new KKSlideView(&window);
  bar->setGeometry(0, 0, 200, 12);
  auto* readout = new ProgressNumView(&window);
  readout->setGeometry(0, 20, 100, 100);
  auto* line = new LineLrcView(&window);  // a line too wide for one row: split in two
  line->setGeometry(0, 130, 256, 48);
  line->setLrc("[00:01]a line far too long to be drawn in one row of this narrow view\n");
  line->processLrc();
  line->setTimestamp(2);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Paints paints;
  for (QWidget* w : {static_cast<QWidget*>(bar), static_cast<QWidget*>(readout), static_cast<QWidget*>(line)}) {
    w->installEventFilter(&paints);
  }
  bar->setProgress(50);  // after the window's first paint
  ASSERT_TRUE(runMainLoopUntil([&] { return paints.rects.count(bar) != 0; }, 5s));
  paints.rects.clear();

  line->display();
  readout->setString(QStringLiteral("0:02 / 0:09"));
  readout->display();
  bar->setProgress(50.5);  // from 100 to 101 pixels
  ASSERT_TRUE(runMainLoopUntil([&] { return paints.rects.count(readout) && paints.rects.count(bar); }, 5s));
  EXPECT_EQ(paints.rects.count(line), 0u);
  EXPECT_EQ(paints.rects[readout], std::vector<QRect>{QRect(0, 92, 100, 8)});
  EXPECT_EQ(paints.rects[bar], std::vector<QRect>{QRect(100, 8, 1, 2)});
}

QImage picture(QSize size, QColor color) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  return image;
}

// A shown window holding the cover area, the slideshow's changes instant.
struct CoverHost {
  QWidget window;
  CoverImageView* cover;
  CoverHost() : cover(new CoverImageView(&window)) {
    window.resize(256, 256);
    cover->setGeometry(0, 0, 256, 256);
    cover->slideshowView()->setAnimationSwitch([] { return false; });
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  QRgb shown() const {
    const QImage& image = cover->slideshowView()->currentImage();
    return image.isNull() ? 0 : image.pixel(0, 0);
  }
};

TEST(Slideshow, TurnsAlbumThenArtistEveryTickAndAMissingPictureEmptiesItsTurn) {
  CoverHost host;
  host.cover->advanceSlideshow();  // nothing has arrived: nothing happens
  EXPECT_FALSE(host.cover->isArtist());

  const QImage album = picture({40, 40}, Qt::red);
  host.cover->refreshImage(album, false);
  EXPECT_EQ(host.shown(), 0u);  // shown only at its turn
  std::vector<QRgb> turns;
  for (int i = 0; i < 3; ++i) {
    host.cover->advanceSlideshow();
    turns.push_back(host.shown());
  }
  EXPECT_EQ(turns, (std::vector<QRgb>{album.pixel(0, 0), 0u, album.pixel(0, 0)}));

  const QImage artist = picture({40, 40}, Qt::blue);
  host.cover->refreshImage(artist, true);
  host.cover->advanceSlideshow();
  EXPECT_EQ(host.shown(), artist.pixel(0, 0));
}

// All twelve at t = 0.35 with real pictures and the real mask and shading pictures, side by side.
class TransitionSheet : public QWidget {
 public:
  TransitionSheet() { resize(4 * 100, 3 * 100); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const qreal dpr = p.device()->devicePixelRatioF();
    const QSizeF cell(96, 96);
    QImage a(QSize(300, 200), QImage::Format_ARGB32_Premultiplied),
        b(QSize(200, 200), QImage::Format_ARGB32_Premultiplied);
    {
      QPainter pa(&a);
      QLinearGradient g(0, 0, 300, 200);
      g.setColorAt(0, QColor(250, 170, 90));
      g.setColorAt(1, QColor(200, 60, 110));
      pa.fillRect(a.rect(), g);
      pa.setPen(QPen(Qt::white, 10));
      pa.drawEllipse(QPointF(150, 100), 60, 60);
      QPainter pb(&b);
      pb.fillRect(b.rect(), QColor(40, 70, 170));
      pb.fillRect(QRect(0, 80, 200, 40), QColor(120, 220, 230));
    }
    const QImage from = SlideshowView::fitted(a, cell, dpr), to = SlideshowView::fitted(b, cell, dpr);
    slideshow::TransitionInputs inputs;
    QSize pixels(static_cast<int>(96 * dpr), static_cast<int>(96 * dpr));
    if (auto mask = ResourcePicture::load(QStringLiteral("transitionmask"))) {
      inputs.mask = slideshow::prepareMask(mask->image(dpr), pixels);
    }
    if (auto shading = ResourcePicture::load(QStringLiteral("restrictedshine")))
      inputs.shading = shading->image(dpr);
    p.fillRect(rect(), Qt::black);
    for (unsigned s = 0; s < slideshow::kStyleCount; ++s) {
      const QRectF r(QPointF((s % 4) * 100 + 2, (s / 4) * 100 + 2), cell);
      slideshow::paintTransition(p, s, 0.35, r, from, to, inputs);
    }
  }
};

TEST(Transitions, SheetOfAllStylesHalfWay) {
  TransitionSheet sheet;
  EXPECT_GOLDEN(sheet, "display/transitions");
}

}  // namespace
}  // namespace tonvera
