#include "app/ui/pages.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <optional>
#include <string>

#include "app/ui/shellviews.h"
#include "controls/controlview.h"
#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/pageviews.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "taste/ui/loveviewcontroller.h"

namespace tonvera {
namespace {

// The now-playing placeholder's view: the track's title and artists on the right half.
class NowPlayingView : public MainView {
 public:
  explicit NowPlayingView(QWidget* parent = nullptr) : MainView(parent) {}
  void setTexts(QString title, QString artist) {
    title_ = std::move(title);
    artist_ = std::move(artist);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const qreal h = height();
    painter.setPen(Qt::white);
    painter.setFont(systemFont(20, true));
    const QRectF titleRect = geometry::fromBottomUp(276, 150, 220, 30, h);
    painter.drawText(
        titleRect, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(title_, Qt::ElideRight, static_cast<int>(titleRect.width())));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.7f));
    painter.setFont(systemFont(14));
    const QRectF artistRect = geometry::fromBottomUp(276, 124, 220, 22, h);
    painter.drawText(
        artistRect, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(artist_, Qt::ElideRight, static_cast<int>(artistRect.width())));
  }

 private:
  QString title_, artist_;
};

// Stands in for the now-playing page until its own controller is merged: the page grid on the left
// half, and the radio playing with the texts it reports on the right. The pointer leaving the page
// stays here (it is the now-playing page).
class NowPlayingPlaceholder : public SimplePageController<NowPlayingView>,
                              public PointerObserver,
                              public MainPage {
 public:
  explicit NowPlayingPlaceholder(const PageOptions& options) {
    pageView()->setObj(this);
    auto* grid = new ControlView(pageView());
    grid->move(0, 0);
    if (options.playRadio) {
      controller_ = std::make_unique<MainViewController>(*this);
      // Started once the page is in the window, which then takes the channel's title.
      QTimer::singleShot(0, pageView(), [this] { controller_->awakeFromNib(); });
    }
  }
  // The view outlives this controller in the window: it must not call back into it.
  ~NowPlayingPlaceholder() override {
    controller_.reset();
    if (pageView() != nullptr) pageView()->setObj(nullptr);
  }

  // PointerObserver
  void mouseMoved(const QPointF&) override {}
  void mouseExited() override {}

  // MainPage
  void setArtistText(const std::string& text) override { artist_ = QString::fromStdString(text), refresh(); }
  void setAlbumText(const std::string&) override {}
  void setTrackNameText(const std::string& text) override {
    title_ = QString::fromStdString(text), refresh();
  }
  void setPositionText(const std::string&) override {}
  void readoutSetString(const std::string&) override {}
  void readoutSetColor(int) override {}
  void readoutDisplay() override {}
  void sliderSetProgress(double) override {}
  double sliderGetProgress() const override { return 0; }
  bool sliderIsDown() const override { return false; }
  bool sliderIsEntered() const override { return false; }
  bool sliderIsSeek() const override { return false; }
  void lrcSetLrc(const std::optional<std::string>&) override {}
  void lrcProcess() override {}
  void lrcSetTimestamp(double) override {}
  void lrcDisplay() override {}
  void refreshImage(const QImage&, bool) override {}
  void playButtonSetOn(bool) override {}
  void setWindowTitle(const std::string& title) override {
    if (QWidget* win = pageView()->window(); win != pageView())
      win->setWindowTitle(QString::fromStdString(title));
  }

 private:
  void refresh() { pageView()->setTexts(title_, artist_); }

  QString title_, artist_;
  std::unique_ptr<MainViewController> controller_;
};

// A placeholder page: the page view and nothing else.
template <typename V>
std::unique_ptr<PageController> placeholder() {
  return std::make_unique<SimplePageController<V>>();
}

// The channel wall's placeholder background: the page in white at alpha 0.7.
using ChannelPlaceholderView = HelpView;

}  // namespace

std::unique_ptr<PageController> makeMainViewController(const PageOptions& options) {
  return std::make_unique<NowPlayingPlaceholder>(options);
}

std::unique_ptr<PageController> makeChannelViewController(const PageOptions&) {
  return placeholder<ChannelPlaceholderView>();
}

std::unique_ptr<PageController> makePrivateViewController(const PageOptions&) {
  return placeholder<PrivateView>();
}

std::unique_ptr<PageController> makeLoveViewController(const PageOptions&) {
  return std::make_unique<LoveViewController>();
}

std::unique_ptr<PageController> makeHelpViewController(const PageOptions&) { return placeholder<HelpView>(); }

std::unique_ptr<QWidget> makePreferenceController() { return nullptr; }

}  // namespace tonvera
