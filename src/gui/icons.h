// Toolbar and menu pictures, drawn by the program itself (16 x 15, like the toolbar's).
#pragma once

#include <QIcon>

#include "gui/commands.h"

namespace zr {

QIcon CommandIconImage(CommandIcon icon);
// The program's own icon (window and desktop entry), drawn at `size` pixels.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

}  // namespace zr
