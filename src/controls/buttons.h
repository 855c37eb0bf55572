// The button family the pages draw their controls with:
//   NovaColorButton   an icon cut from a sprite sheet, tinted by state (rest, pointer over, held);
//   NovaToggleButton  an on/off icon button that flips on release;
//   StateButton       a toggle that acts on press;
//   NovaControlButton a square page button that shows a caption instead of its icon;
//   SegControl        an ON/OFF switch that flips on press.
// A press released outside the button sends nothing. Actions are plain callables set with
// addTarget (which also enables the control); the sender is passed so one handler can serve
// several buttons by tag.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "platform/notificationcenter.h"

namespace tonvera {

class ResourcePicture;

// A cell of a sprite sheet: the sheet and the cell's rectangle (points, y from the bottom).
struct SheetIcon {
  std::shared_ptr<const ResourcePicture> sheet;
  QRectF rect;
  bool isNull() const { return !sheet || rect.isEmpty(); }
  QSizeF size() const { return rect.size(); }
};

class NovaColorButton : public QWidget {
  Q_OBJECT
 public:
  using Action = std::function<void(NovaColorButton* sender)>;
  using Color = std::optional<QColor>;  // absent: the icon in its own colours

  explicit NovaColorButton(QWidget* parent = nullptr);

  void addTarget(Action action);
  // Cuts `rect` out of `sheet` as the icon; a null sheet leaves no icon.
  virtual void setImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect);
  const SheetIcon& image() const { return image_; }

  void setColor0(Color c) { color0_ = c; update(); }
  void setColor1(Color c) { color1_ = c; update(); }
  void setColor2(Color c) { color2_ = c; update(); }
  void setColors(Color c0, Color c1, Color c2);
  // colour0 = c1 at alpha 0.4, colour1 = c1, colour2 = c2; without c1 colours 0 and 1 are absent.
  void setColor1Color2(Color c1, Color c2);
  Color color0() const { return color0_; }
  Color color1() const { return color1_; }
  Color color2() const { return color2_; }

  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  bool isEntered() const { return isEntered_; }
  bool isDown() const { return isDown_; }

 protected:
  // Pointer behaviour of the family; subclasses change it here.
  virtual void onEntered();
  virtual void onExited();
  virtual void onPressed();
  virtual void onReleased();
  // Drawing: the whole button; the held look; the icon in a colour moved down by `offset`.
  virtual void drawButton(QPainter& painter);
  void drawDown(QPainter& painter);
  void drawColor(QPainter& painter, const Color& color);
  void drawColor(QPainter& painter, const Color& color, const SheetIcon& icon, qreal offset);
  void sendAction();
  // Enters or leaves as the event's position says.
  void followPointer(const QMouseEvent& event);

  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  bool isEntered_ = false;
  bool isDown_ = false;

 private:
  SheetIcon image_;
  Color color0_, color1_, color2_;
  Action action_;
  int tag_ = 0;
};

class NovaToggleButton : public NovaColorButton {
  Q_OBJECT
 public:
  explicit NovaToggleButton(QWidget* parent = nullptr);
  void setOn(bool on);
  bool isOn() const { return on_; }
  void setOnImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect);
  void setOnColor0(Color c) { onColor0_ = c; update(); }
  void setOnColor1(Color c) { onColor1_ = c; update(); }
  // on-colour0 = c at alpha 0.4, on-colour1 = c.
  void setOnColor(Color c);

 protected:
  void onReleased() override;  // flips first when released over the button, then acts
  void drawButton(QPainter& painter) override;
  void toggleRelease();

 private:
  bool on_ = false;
  SheetIcon onImage_;
  Color onColor0_, onColor1_;
};

class StateButton : public NovaToggleButton {
  Q_OBJECT
 public:
  explicit StateButton(QWidget* parent = nullptr);

 protected:
  void onPressed() override;  // flips and acts at once
  void onReleased() override;  // nothing
};

class NovaControlButton : public NovaColorButton {
  Q_OBJECT
 public:
  explicit NovaControlButton(QWidget* parent = nullptr);
  const QString& text() const { return text_; }
  void setText(const QString& text);
  // Also makes the centre square (tag 4 at that moment) follow "NovaControlButtonEntered".
  void setImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect) override;

  // The caption shown for the grid square with that tag; "" for a square that opens nothing, which
  // also draws no hover look.
  static QString caption(int tag);

 protected:
  void onEntered() override;  // posts "NovaControlButtonEntered" first
  void drawButton(QPainter& painter) override;

 private:
  void drawText(const Notification& notification);
  void drawBackGray(QPainter& painter, qreal alpha);
  QString text_;
  ScopedObserver enteredObserver_;
};

class SegControl : public QWidget {
  Q_OBJECT
 public:
  using Action = std::function<void(SegControl* sender)>;
  explicit SegControl(QWidget* parent = nullptr, bool on = false);
  void addTarget(Action action);
  bool state() const { return isOn_; }
  void setState(bool on);

 protected:
  void mousePressEvent(QMouseEvent* event) override;  // flips, acts, redraws
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool isOn_ = false;
  Action action_;
};

inline constexpr const char* kNovaControlButtonEnteredNotification = "NovaControlButtonEntered";

}  // namespace tonvera
