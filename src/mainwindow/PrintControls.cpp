#include "PrintControls.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

#include "DateForm.h"
#include "FilmLook.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "ImgPanel.h"
#include "PageWriter.h"
#include "ValueListEditor.h"

namespace tessaly {

namespace {

// Pages are drawn at this resolution at most: enough for a photo print,
// and a preview stays quick.
constexpr double kPageDotsPerInch = 300;

QString DateFormCaption(const DateForm& form) {
  if (*form.pattern == '\0')
    return form.withTime ? TPrintControls::tr("Как в системе, со временем") : TPrintControls::tr("Как в системе");
  return FormatStampDate(QDateTime(QDate(2026, 12, 8), QTime(14, 5)), QString::fromLatin1(form.name));
}

}  // namespace

TPrintControls::TPrintControls(TImageForm* form) : QObject(form), form_(form) {
  const auto guarded = [form](auto handler) {
    return [form, handler](auto... args) { form->Guard([=] { handler(args...); }); };
  };

  PrintMenu = new QMenu(tr("Печать"), form);
  PrintMenu->setObjectName(QStringLiteral("PrintMenu"));
  QMenu* formats = PrintMenu->addMenu(tr("Формат"));
  FormatGroup = new QActionGroup(this);
  for (const PrintFormat& f : PrintFormats()) {
    QAction* a = formats->addAction(QCoreApplication::translate("PrintFormats", f.caption));
    a->setCheckable(true);
    a->setData(int(f.id));
    a->setChecked(f.id == kDefaultPrintFormat);
    FormatGroup->addAction(a);
    connect(a, &QAction::triggered, this, guarded([this, id = f.id](bool) { ChooseFormat(id); }));
  }
  FitAction = PrintMenu->addAction(tr("С полями"));
  FitAction->setObjectName(QStringLiteral("FitAction"));
  FitAction->setCheckable(true);
  connect(FitAction, &QAction::triggered, this, guarded([this](bool on) { ChooseFit(on); }));
  PrintToAllAction = PrintMenu->addAction(tr("Формат для всех"));
  PrintToAllAction->setObjectName(QStringLiteral("PrintToAllAction"));
  connect(PrintToAllAction, &QAction::triggered, this, guarded([this](bool) { PrintToAll(); }));
  PrintMenu->addSeparator();

  QMenu* positions = PrintMenu->addMenu(tr("Положение штампа"));
  PositionGroup = new QActionGroup(this);
  for (const StampPositionName& p : StampPositions()) {
    QAction* a = positions->addAction(QCoreApplication::translate("StampPositions", p.caption));
    a->setCheckable(true);
    a->setData(int(p.position));
    PositionGroup->addAction(a);
    connect(a, &QAction::triggered, this, guarded([this, where = p.position](bool) { ChoosePosition(where); }));
  }
  SafeMarginsAction = PrintMenu->addAction(tr("Безопасные поля"));
  SafeMarginsAction->setObjectName(QStringLiteral("SafeMarginsAction"));
  SafeMarginsAction->setCheckable(true);
  connect(SafeMarginsAction, &QAction::triggered, this, guarded([this](bool on) { ChooseSafeMargins(on); }));
  QMenu* dates = PrintMenu->addMenu(tr("Форма даты"));
  DateFormGroup = new QActionGroup(this);
  for (const DateForm& d : DateForms()) {
    QAction* a = dates->addAction(DateFormCaption(d));
    a->setCheckable(true);
    a->setData(QString::fromLatin1(d.name));
    DateFormGroup->addAction(a);
    connect(a, &QAction::triggered, this, guarded([this, name = QString::fromLatin1(d.name)](bool) { ChooseDateForm(name); }));
  }
  FilmAction = PrintMenu->addAction(tr("Плёнка"));
  FilmAction->setObjectName(QStringLiteral("FilmAction"));
  connect(FilmAction, &QAction::triggered, this, guarded([this](bool) { ChooseFilm(); }));

  // After "Параметры".
  form->menuBar()->addMenu(PrintMenu);

  PrintAction = new QAction(tr("Печать..."), form);
  PrintAction->setObjectName(QStringLiteral("PrintAction"));
  PrintAction->setShortcut(QKeySequence::Print);
  connect(PrintAction, &QAction::triggered, this, guarded([this](bool) { PrintActionExecute(); }));
  PrintPreviewAction = new QAction(tr("Предпросмотр печати..."), form);
  PrintPreviewAction->setObjectName(QStringLiteral("PrintPreviewAction"));
  connect(PrintPreviewAction, &QAction::triggered, this, guarded([this](bool) { PrintPreviewActionExecute(); }));
  PdfAction = new QAction(tr("Печать в PDF..."), form);
  PdfAction->setObjectName(QStringLiteral("PdfAction"));
  connect(PdfAction, &QAction::triggered, this, guarded([this](bool) { PdfActionExecute(); }));
  // In the File menu after the exports.
  for (QObject* object : form->ExportAllAction->associatedObjects()) {
    auto* menu = qobject_cast<QMenu*>(object);
    if (!menu) continue;
    const QList<QAction*> entries = menu->actions();
    const qsizetype at = entries.indexOf(form->ExportAllAction) + 1;
    QAction* before = at < entries.size() ? entries[at] : nullptr;
    menu->insertActions(before, {PrintAction, PrintPreviewAction, PdfAction});
  }

  FormatButton = new QToolButton(form);
  FormatButton->setObjectName(QStringLiteral("FormatButton"));
  FormatButton->setMenu(formats);
  FormatButton->setPopupMode(QToolButton::InstantPopup);
  FormatButton->setToolTip(tr("Формат"));
  FormatButton->setText(QString::fromLatin1(FormatOf(kDefaultPrintFormat).caption));
  form->ActionToolBar1->addWidget(FormatButton);

  AskPdfPath = [form] {
    return QFileDialog::getSaveFileName(form, tr("Печать в PDF"), QString(), tr("PDF (*.pdf)"));
  };
  ShowNote = [form](const QString& text) { QMessageBox::information(form, tr("Плёнка"), text); };
  Sync();
}

void TPrintControls::Sync() {
  TImgPanel* panel = form_->CurrentPanel;
  const PrintChoice print = panel ? panel->Print : DefaultPrint;
  const TStampFont& look = form_->LabelFont;
  for (QAction* a : FormatGroup->actions()) a->setChecked(a->data().toInt() == int(print.format));
  FormatButton->setText(QCoreApplication::translate("PrintFormats", FormatOf(print.format).caption));
  FitAction->setChecked(print.fit);
  for (QAction* a : PositionGroup->actions()) a->setChecked(a->data().toInt() == int(look.position));
  SafeMarginsAction->setChecked(look.safeMargins);
  const QString form = look.dateForm.isEmpty() ? QString::fromLatin1(kDefaultDateForm) : look.dateForm;
  for (QAction* a : DateFormGroup->actions()) a->setChecked(a->data().toString() == form);
  for (QAction* a : {FitAction, PrintToAllAction, SafeMarginsAction, FilmAction, PrintAction, PrintPreviewAction, PdfAction})
    a->setEnabled(panel != nullptr);
  for (QActionGroup* g : {PositionGroup, DateFormGroup}) g->setEnabled(panel != nullptr);
}

void TPrintControls::Adopt(TImgPanel* panel) {
  panel->Print = DefaultPrint;
  const TStampFont& font = panel->GetStampFont();
  if (const DateChoice* choice = panel->FindDateChoice(panel->DateFrom); choice && !font.dateForm.isEmpty())
    panel->DateText = FormedDate(*choice, font.dateForm);
}

void TPrintControls::PendingLookChanged() {
  form_->ShowLabelFont();
  form_->SetApplyEnabled(true);
  form_->PreviewPending();
  Sync();
}

void TPrintControls::ChooseFormat(PrintFormatId format) {
  DefaultPrint.format = format;
  if (TImgPanel* panel = form_->CurrentPanel) {
    form_->CommitPendingEdit(false);
    // A frame of the old format does not fit the new one: the picture is
    // whole again until a frame is placed.
    panel->Print.format = format;
    panel->ResetCrop();
    form_->CropAction->setChecked(false);
    form_->AskPreview(true);
  }
  Sync();
}

void TPrintControls::ChooseFit(bool fit) {
  DefaultPrint.fit = fit;
  if (TImgPanel* panel = form_->CurrentPanel) {
    form_->CommitPendingEdit(false);
    panel->Print.fit = fit;
    form_->AskPreview(true);
  }
  Sync();
}

void TPrintControls::PrintToAll() {
  TImgPanel* current = form_->CurrentPanel;
  if (!current) return;
  for (TImgPanel* panel : form_->Panels()) {
    if (panel->Print.format != current->Print.format) panel->ResetCrop();
    panel->Print = current->Print;
  }
  DefaultPrint = current->Print;
}

void TPrintControls::ChoosePosition(StampPosition position) {
  if (!form_->CurrentPanel) return;
  form_->LabelFont.position = position;
  PendingLookChanged();
}

void TPrintControls::ChooseSafeMargins(bool on) {
  if (!form_->CurrentPanel) return;
  form_->LabelFont.safeMargins = on;
  PendingLookChanged();
}

void TPrintControls::ChooseDateForm(const QString& form) {
  TImgPanel* panel = form_->CurrentPanel;
  if (!panel) return;
  const QString before = form_->LabelFont.dateForm;
  form_->LabelFont.dateForm = form == QLatin1String(kDefaultDateForm) ? QString() : form;
  // A date taken from the photo goes into the editor in the new form; a
  // typed one stays as typed.
  const QString shown = form_->ValueListEditor1->Value(TImageForm::kDateKey);
  for (const DateChoice& choice : panel->DateChoices) {
    if (shown == choice.text || shown == FormedDate(choice, before) ||
        shown == FormedDate(choice, panel->GetStampFont().dateForm)) {
      form_->ValueListEditor1->SetValue(TImageForm::kDateKey, FormedDate(choice, form_->LabelFont.dateForm));
      break;
    }
  }
  PendingLookChanged();
}

void TPrintControls::ChooseFilm() {
  if (!form_->CurrentPanel) return;
  const QString before = form_->LabelFont.dateForm;
  if (!ApplyFilmLook(form_->LabelFont))
    ShowNote(tr("Шрифт «%1» не установлен (пакет fonts-dseg); используется обычный жирный шрифт.")
                 .arg(QString::fromLatin1(kFilmFontFamily)));
  // The film's date form, with the editor's date following it.
  form_->LabelFont.dateForm = before;
  ChooseDateForm(QString::fromLatin1(kFilmDateForm));
}

void TPrintControls::PaintPages(QPagedPaintDevice& device, bool all) {
  form_->CommitPendingEdit(false);
  QList<TImgPanel*> panels;
  if (all) {
    for (TImgPanel* panel : form_->Panels())
      if (panel->LoadError.isEmpty()) panels.append(panel);
  } else if (form_->CurrentPanel) {
    panels.append(form_->CurrentPanel);
  }
  PageWriter pages(device);
  for (TImgPanel* panel : panels) {
    RenderJob job = panel->StampedJob();
    const RenderResult size = Probe(job);
    const TRect crop = job.crop.value_or(size.crop);
    const QSizeF mm = PageSizeMm(panel->Print.format, crop.Width(), crop.Height());
    // At the page's resolution, or the picture's own when it has fewer
    // pixels.
    const double longMm = std::max(mm.width(), mm.height());
    const int64_t wanted = std::llround(longMm / 25.4 * kPageDotsPerInch);
    RenderTarget target{0, 0, false};
    if (std::max(crop.Width(), crop.Height()) > wanted) {
      const bool wide = crop.Width() > crop.Height();
      target = RenderTarget{wide ? int(wanted) : 0, wide ? 0 : int(wanted), true};
    }
    const RenderResult page = Render(job, target);
    if (!pages.AddPage(page.image, mm)) throw PictureError(tr("Не удалось напечатать страницу"));
  }
  if (!pages.Finish()) throw PictureError(tr("Не удалось напечатать страницу"));
}

void TPrintControls::PrintActionExecute() {
  if (!form_->CurrentPanel) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setFullPage(true);  // borderless: the page is the picture
  QPrintDialog dialog(&printer, form_);
  dialog.setWindowTitle(tr("Печать"));
  dialog.setOptions(QAbstractPrintDialog::PrintSelection | QAbstractPrintDialog::PrintToFile);
  printer.setPrintRange(QPrinter::Selection);
  if (dialog.exec() != QDialog::Accepted) return;
  PaintPages(printer, printer.printRange() != QPrinter::Selection);
}

void TPrintControls::PrintPreviewActionExecute() {
  if (!form_->CurrentPanel) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setFullPage(true);
  QPrintPreviewDialog dialog(&printer, form_);
  dialog.setWindowTitle(tr("Предпросмотр печати"));
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* p) { form_->Guard([this, p] { PaintPages(*p, true); }); });
  dialog.exec();
}

void TPrintControls::PdfActionExecute() {
  if (!form_->CurrentPanel) return;
  const QString path = AskPdfPath();
  if (path.isEmpty()) return;
  QPdfWriter writer(path);
  writer.setCreator(QStringLiteral("Tessaly Orvanel"));
  writer.setResolution(int(kPageDotsPerInch));
  PaintPages(writer, true);
}

}  // namespace tessaly
