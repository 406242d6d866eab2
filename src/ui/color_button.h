// A push button showing a colour swatch; its caption carries the colour as
// "W:R%dG%dB%d~". Clicking it lets the user pick another colour, either from the
// sixteen-colour popup or from the desktop's full colour chooser.
#pragma once

#include <optional>

#include <QColor>
#include <QDialog>
#include <QPushButton>

namespace zr {

class CColorBtn : public QPushButton {
  Q_OBJECT

 public:
  enum class Picker { Popup16, FullChooser };

  explicit CColorBtn(QColor colour = Qt::black, QWidget* parent = nullptr,
                     Picker picker = Picker::Popup16);

  QColor colour() const { return colour_; }
  void setColour(const QColor& colour);
  // "W:R%dG%dB%d~" of the current colour.
  QString caption() const { return FormatCaption(colour_); }
  void setCaption(const QString& caption);

  static QString FormatCaption(const QColor& colour);
  // The colour of a "W:R%dG%dB%d~" caption; nothing when the caption has no "W:".
  static std::optional<QColor> ParseCaption(const QString& caption);

 signals:
  void colourChanged(const QColor& colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Pick();
  QColor colour_;
  Picker picker_;
};

// The sixteen-colour palette popup (caption "Colour").
class CColorPopup : public QDialog {
  Q_OBJECT

 public:
  explicit CColorPopup(const QColor& initial, QWidget* parent = nullptr);
  QColor colour() const { return colour_; }
  static const QColor* Palette16();

 private:
  QColor colour_;
};

}  // namespace zr
