// Dialogs show a title and a close button, never minimise or maximise buttons.
#pragma once

#include <QDialog>

namespace zr {

inline void SetDialogFlags(QDialog* dialog) {
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

}  // namespace zr
