// Fonts of the pages. The layouts give text sizes in points of a screen where one point is one
// device-independent pixel, so sizes are pixel sizes of the desktop's default UI font.
//
// Threads: main thread only (reads the application font).
#pragma once

#include <QFont>

namespace tonvera {

QFont systemFont(int size, bool bold = false);

}  // namespace tonvera
