// ProgressNumView: the position readout of the now-playing page ("1:23 / 4:56") drawn from the
// bitmap glyph sheet "NUMFONT6x8.png" (15 glyphs of 6 x 8 points: "0"-"9", ":", ".", "+", "-",
// "/" at x = 6n). Every character takes a 7-point cell; characters without a glyph (a space, a
// letter) leave their cell empty. The text before "/" is drawn in the state colour (0 grey at
// rest, 1 black under the pointer, 2 orange while the slider is held), the "/" and everything after
// it in dim grey. The glyph row sits on the view's bottom edge.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

namespace tonvera {

class ResourcePicture;

class ProgressNumView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kGlyphWidth = 6;
  static constexpr int kGlyphHeight = 8;
  static constexpr int kAdvance = 7;  // pen advance per character, drawn or not

  // One character's cell as drawn.
  struct Cell {
    int x = 0;                 // pen position in points
    std::optional<int> glyph;  // glyph number in the sheet, none for characters without one
    bool dim = false;          // at or after the "/"
  };

  explicit ProgressNumView(QWidget* parent = nullptr);

  // Neither redraws: the owner asks for a redraw (display()) after setting them.
  void setString(const QString& text) { string_ = text; }
  const QString& string() const { return string_; }
  void setColor(int color) { color_ = color; }
  int color() const { return color_; }
  // Redraws when the text or colour changed since the last drawing.
  void display();

  // The glyph of a character: 0-9 for digits, 10 ":", 11 ".", 12 "+", 13 "-", 14 "/".
  static std::optional<int> glyphOf(QChar c);
  static std::vector<Cell> cells(const QString& text);
  // The state colour of a colour mode, and the dim colour after the "/".
  static QColor stateColor(int color);
  static QColor dimColor();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const ResourcePicture> image_;
  QString string_ = QStringLiteral("0:00 / 0:00");
  int color_ = 0;
  QString drawnString_;
  int drawnColor_ = -1;
};

}  // namespace tonvera
