// The shell's own views and the two pages without content:
//   BackgroundViw  the window's background picture "Main.png", drawn source-atop;
//   LeftView       draws nothing; RightView fills itself with opaque white (decorative parts);
//   SettingView, LoginView  the settings and login pages (MainViews drawing nothing of their own;
//                  no control leads to them), with SettingViewController and LoginViewController.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "controls/kktrackview.h"
#include "controls/pagecontroller.h"

namespace tonvera {

class ResourcePicture;

class BackgroundViw : public QWidget {
  Q_OBJECT
 public:
  explicit BackgroundViw(QWidget* parent = nullptr);

 protected:
  // The same area of the picture as the area to redraw, source-atop, full opacity.
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const ResourcePicture> picture_;
};

class LeftView : public QWidget {
  Q_OBJECT
 public:
  explicit LeftView(QWidget* parent = nullptr);
};

class RightView : public QWidget {
  Q_OBJECT
 public:
  explicit RightView(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class SettingView : public MainView {
  Q_OBJECT
 public:
  explicit SettingView(QWidget* parent = nullptr);
};

class LoginView : public MainView {
  Q_OBJECT
 public:
  explicit LoginView(QWidget* parent = nullptr);
};

// A page controller with a page view of type V, 512 x 256. The controller owns the view until the
// window takes it as a child; from then on the window does.
template <typename V>
class SimplePageController : public PageController {
 public:
  SimplePageController() : view_(new V) { view_->resize(512, 256); }
  ~SimplePageController() override {
    if (view_ && view_->parent() == nullptr) delete view_.data();
  }
  SimplePageController(const SimplePageController&) = delete;
  SimplePageController& operator=(const SimplePageController&) = delete;
  QWidget* view() override { return view_.data(); }
  V* pageView() const { return view_.data(); }

 private:
  QPointer<V> view_;
};

class SettingViewController : public SimplePageController<SettingView> {};
class LoginViewController : public SimplePageController<LoginView> {};

}  // namespace tonvera
