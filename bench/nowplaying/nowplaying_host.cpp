// Hosts the now-playing page in a window of its own (512 x 256 on a night-blue ground), playing the
// stored or default channel of the service in TONVERA_SERVICE_URL.
//   --hide-after SECONDS   hide the window after that long (playback goes on)
//   --transitions          change the cover picture every second through the slideshow's animated
//                          transitions (one after the other, all twelve styles)
//   --desktop-lyrics       show the desktop lyrics window too (as the program does with it on)
//   --quit-after SECONDS   quit after that long
//   --count-paints         every 30 s, print to standard error how often each widget painted over
//                          that time (class, place and size; paints a second, pixels a paint)
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QMap>
#include <QPaintEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/ui/desktoplyrics.h"
#include "display/ui/coverimageview.h"
#include "display/ui/slideshowview.h"
#include "keys/preferences.h"
#include "platform/userdefaults.h"
#include "radio/ui/nowplayingcontroller.h"

namespace {

class Backdrop : public QWidget {
 public:
  Backdrop() { resize(512, 256); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(20, 26, 60));
    g.setColorAt(1, QColor(75, 42, 120));
    p.fillRect(rect(), g);
  }
};

QImage testPicture(QColor a, QColor b) {
  QImage image(320, 320, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  QLinearGradient g(0, 0, 320, 320);
  g.setColorAt(0, a);
  g.setColorAt(1, b);
  p.fillRect(image.rect(), g);
  p.setPen(QPen(QColor(255, 255, 255, 160), 8));
  p.drawEllipse(QPointF(160, 160), 100, 100);
  return image;
}

// Counts the paint events of every widget, for --count-paints.
class PaintCount : public QObject {
 public:
  static constexpr int kPeriodMs = 30000;

  PaintCount() {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { report(); });
    timer->start(kPeriodMs);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
      const QRect g = static_cast<QWidget*>(watched)->geometry();
      Count& count = counts_[QStringLiteral("%1 %2,%3 %4x%5")
                                 .arg(QString::fromLatin1(watched->metaObject()->className()))
                                 .arg(g.x())
                                 .arg(g.y())
                                 .arg(g.width())
                                 .arg(g.height())];
      const QRect r = static_cast<QPaintEvent*>(event)->rect();
      ++count.paints;
      count.pixels += static_cast<long long>(r.width()) * r.height();
    }
    return false;
  }

 private:
  struct Count {
    long long paints = 0;
    long long pixels = 0;
  };

  void report() {
    for (auto it = counts_.cbegin(); it != counts_.cend(); ++it) {
      std::fprintf(stderr, "paints %-46s %6.2f /s %8lld px a paint\n", qPrintable(it.key()),
                   it->paints * 1000.0 / kPeriodMs, it->pixels / it->paints);
    }
    std::fprintf(stderr, "\n");
    counts_.clear();
  }

  QMap<QString, Count> counts_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  double hideAfter = -1, quitAfter = -1;
  bool transitions = false, desktopLyrics = false, countPaints = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--hide-after") && i + 1 < argc) {
      hideAfter = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) {
      quitAfter = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--transitions")) {
      transitions = true;
    } else if (!std::strcmp(argv[i], "--desktop-lyrics")) {
      desktopLyrics = true;
    } else if (!std::strcmp(argv[i], "--count-paints")) {
      countPaints = true;
    }
  }
  Backdrop window;
  tonvera::NowPlayingController page(&window);
  window.show();
  std::unique_ptr<tonvera::DesktopLyrics> lyrics;
  if (desktopLyrics) {
    tonvera::Preferences::setDesktopLyrics(tonvera::UserDefaults::standard(), true);
    lyrics = std::make_unique<tonvera::DesktopLyrics>(page, tonvera::UserDefaults::standard());
  }
  if (hideAfter >= 0) QTimer::singleShot(static_cast<int>(hideAfter * 1000), &window, [&] { window.hide(); });
  if (quitAfter >= 0) QTimer::singleShot(static_cast<int>(quitAfter * 1000), &app, &QApplication::quit);
  if (transitions) {
    auto* slideshow = page.albumCover()->slideshowView();
    slideshow->setAnimationSwitch([] { return true; });
    static const QImage pictures[2] = {testPicture(QColor(250, 170, 90), QColor(200, 60, 110)),
                                       testPicture(QColor(60, 180, 220), QColor(40, 60, 160))};
    auto* timer = new QTimer(&window);
    timer->setInterval(1000);
    QObject::connect(timer, &QTimer::timeout, &window,
                     [slideshow, n = 0]() mutable { slideshow->transitionToImage(pictures[n++ % 2]); });
    timer->start();
  }
  if (countPaints) {
    auto* counter = new PaintCount;
    counter->setParent(&app);
    app.installEventFilter(counter);
  }
  return app.exec();
}
