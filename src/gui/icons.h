// Toolbar and menu pictures: the desktop theme's, or our own drawn ones (16 x 15, in the
// palette's colours) where the theme has none.
#pragma once

#include <QIcon>

#include "gui/commands.h"

namespace zr {

QIcon CommandIconImage(CommandIcon icon);
// Our own picture of a command, whatever the theme.
QIcon DrawnCommandIcon(CommandIcon icon);
// The program's own icon (window and desktop entry), drawn at `size` pixels in its own
// colours, as a brand mark is.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

}  // namespace zr
