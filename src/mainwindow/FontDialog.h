// TFontDialog: the font dialog of the window. Face, style, size, effects and
// the sample are Qt's font dialog; beside it are the colour and the character
// set of the classic Windows dialog, so that every attribute of a stamp font
// can be chosen.
#pragma once

#include <QDialog>

#include "StampFont.h"

class QCheckBox;
class QComboBox;
class QFontDialog;

namespace tessaly {

class TFontDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TFontDialog(QWidget* parent = nullptr);

  // Shows the "Обводка" check box (the default font's outline); hidden, the
  // outline is kept as it was set.
  void OfferOutline(bool offer);

  void SetStampFont(const TStampFont& font);
  // The choice; attributes the user did not change keep their exact values
  // (a cell height stays a cell height, a system colour stays one).
  TStampFont StampFont() const;

 private:
  QFontDialog* fonts_;
  QComboBox* colors_;
  QComboBox* charsets_;
  QCheckBox* outline_;
  TStampFont initial_;
  QString shownFamily_;
};

// Shows the dialog modally, preset with font; on OK stores the choice in
// font and returns true, on Cancel leaves it as it was. offerOutline: with
// the "Обводка" check box.
bool ExecuteFontDialog(QWidget* parent, TStampFont& font, bool offerOutline = false);

}  // namespace tessaly
