#include "controls/fonts.h"

#include <QGuiApplication>

namespace tonvera {

QFont systemFont(int size, bool bold) {
  QFont font = QGuiApplication::font();
  font.setPixelSize(size);
  font.setBold(bold);
  return font;
}

}  // namespace tonvera
