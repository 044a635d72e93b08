#include "FontDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QPixmap>
#include <QVBoxLayout>
#include <cstdlib>

#include "FontDialogFile.h"

namespace tessaly {
namespace {

// Points shown for a height: a negative height is the character height, a
// positive one the cell height, both taken as points at the same scale.
int PointsOf(const TStampFont& font) { return std::max(1, std::abs(font.Size())); }

QIcon Swatch(const QColor& color) {
  QPixmap pixmap(16, 12);
  pixmap.fill(color);
  return QIcon(pixmap);
}

void SelectValue(QComboBox* box, uint32_t value, const QString& otherCaption, const QIcon& icon) {
  int index = box->findData(value);
  if (index < 0) {
    box->insertItem(0, icon, otherCaption, value);
    index = 0;
  }
  box->setCurrentIndex(index);
}

}  // namespace

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Шрифт"));
  setSizeGripEnabled(true);

  // Qt's dialog embedded as a plain widget, without its own buttons.
  fonts_ = new QFontDialog(this);
  fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  fonts_->setWindowFlags(Qt::Widget);
  connect(fonts_, &QDialog::rejected, this, &QDialog::reject);

  colors_ = new QComboBox(this);
  for (const NamedFontValue& c : FontColors()) {
    if (*c.caption == '\0') continue;
    TStampFont probe;
    probe.color = c.value;
    colors_->addItem(Swatch(probe.Color()), QCoreApplication::translate("FontNames", c.caption), c.value);
  }
  charsets_ = new QComboBox(this);
  for (const NamedFontValue& c : FontCharsets())
    charsets_->addItem(QCoreApplication::translate("FontNames", c.caption), c.value);

  outline_ = new QCheckBox(tr("Обводка"), this);
  outline_->setObjectName(QStringLiteral("OutlineCheck"));
  outline_->hide();

  // Any colour besides the named ones, through Qt's colour chooser.
  auto* otherColor = new QPushButton(tr("Другой цвет…"), this);
  otherColor->setObjectName(QStringLiteral("OtherColorButton"));
  connect(otherColor, &QPushButton::clicked, this, [this] {
    TStampFont probe;
    probe.color = colors_->currentData().toUInt();
    const QColor chosen = QColorDialog::getColor(probe.Color(), this, tr("Цвет"));
    if (!chosen.isValid()) return;
    probe.SetColor(chosen);
    SelectValue(colors_, probe.color, chosen.name(QColor::HexRgb).toUpper(), Swatch(chosen));
  });
  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(colors_, 1);
  colorRow->addWidget(otherColor);

  auto* extras = new QFormLayout;
  extras->addRow(tr("Цвет:"), colorRow);
  extras->addRow(tr("Набор символов:"), charsets_);
  extras->addRow(outline_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fonts_);
  layout->addLayout(extras);
  layout->addWidget(buttons);
}

void TFontDialog::OfferOutline(bool offer) { outline_->setVisible(offer); }

void TFontDialog::SetStampFont(const TStampFont& font) {
  initial_ = font;
  outline_->setChecked(font.outline);
  QFont q = font.ToQFont();
  q.setPointSize(PointsOf(font));
  fonts_->setCurrentFont(q);
  // Where this face is not installed the dialog shows a substitute; only a
  // face the user picks replaces the stored one.
  shownFamily_ = fonts_->currentFont().family();
  SelectValue(colors_, font.color, tr("Текущий"), Swatch(font.Color()));
  SelectValue(charsets_, uint32_t(font.charset),
              tr("Набор %1").arg(font.charset), QIcon());
}

TStampFont TFontDialog::StampFont() const {
  TStampFont f = initial_;
  const QFont q = fonts_->currentFont();
  if (q.family() != shownFamily_) {
    f.name = q.family();
    // The chosen face's own pitch, as the classic dialog reports it.
    f.pitch = QFontInfo(q).fixedPitch() ? 2 : 1;
  }
  if (q.pointSize() != PointsOf(initial_)) f.SetSize(q.pointSize());
  f.bold = q.bold();
  f.italic = q.italic();
  f.underline = q.underline();
  f.strikeOut = q.strikeOut();
  f.color = colors_->currentData().toUInt();
  f.charset = int(charsets_->currentData().toUInt());
  if (!outline_->isHidden()) f.outline = outline_->isChecked();
  return f;
}

bool ExecuteFontDialog(QWidget* parent, TStampFont& font, bool offerOutline) {
  TFontDialog dialog(parent);
  dialog.OfferOutline(offerOutline);
  dialog.SetStampFont(font);
  if (dialog.exec() != QDialog::Accepted) return false;
  font = dialog.StampFont();
  return true;
}

}  // namespace tessaly
