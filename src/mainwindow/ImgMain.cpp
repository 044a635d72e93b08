#include "ImgMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <exception>

#include "CopyOptionsMenu.h"
#include "ExportAllController.h"
#include "ExportProgress.h"
#include "ExportSummary.h"
#include "FontDialog.h"
#include "FontDialogFile.h"
#include "ImageView.h"
#include "ImgPanel.h"
#include "PictureEdits.h"
#include "PictureList.h"
#include "PrintControls.h"
#include "ValueListEditor.h"

namespace tessaly {

TImageForm::TImageForm(const QString& exeDir, QWidget* parent, const TStampFont& unstoredFont)
    : QMainWindow(parent), ExeDir(QDir(exeDir).absolutePath() + QLatin1Char('/')) {
  Edits = new TPictureEdits(*this);
  RunOpenDialog = [this] {
    return QFileDialog::getOpenFileNames(this, QString(), LastFolder, PictureFilter());
  };
  // The default font's dialog also sets the outline pictures opened later get.
  RunFontDialog = [this](TStampFont& font) { return ExecuteFontDialog(this, font, &font == &DefaultFont); };
  ShowError = [this](const QString& message) { ErrorBox(this, message); };
  ShowExportSummary = [this](const QString& text, const QString& folder) {
    ShowExportSummaryBox(this, text, folder, OpenFolder);
  };
  AskCloseWithEdits = [this](int count) {
    return QMessageBox::question(this, windowTitle(),
                                 tr("Фотографий с правками, которые ещё не экспортированы: %1. Выйти?").arg(count)) ==
           QMessageBox::Yes;
  };
  OpenFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
  AskCancelExport = [this] { return AskStopExport(this); };

  SetUpControls(this);
  Wire();
  CreateEditActions();
  FormCreate();
  if (!HasStoredFont(ExeDir)) {
    DefaultFont = unstoredFont;
    ShowLabelFont();
  }
  PrintControls = new TPrintControls(this);
  PrintControls->DefaultPrint = StoredPrintChoice(ExeDir);
  PrintControls->Sync();
  setAcceptDrops(true);
}

TImageForm::~TImageForm() {
  // The panels' and the workers' answers use the members, which go before
  // the child widgets would: the panels go first, then the workers (waiting
  // for what they are doing).
  CurrentPanel = nullptr;
  ScrollBox1->Shutdown();
  delete exportAll_;
}

void TImageForm::Wire() {
  connectGuarded(OpenPicture1, &TImageForm::OpenPicture1Execute);
  connectGuarded(ExportAction, &TImageForm::ExportActionExecute);
  connectGuarded(ExportAllAction, &TImageForm::ExportAllActionExecute);
  connectGuarded(CloseImageAction, &TImageForm::CloseImageActionExecute);
  connect(FileExit1, &QAction::triggered, this, &QWidget::close);
  connectGuarded(FontAction, &TImageForm::FontActionExecute);
  connectGuarded(ApplyAction, &TImageForm::ApplyActionExecute);
  connectGuarded(ImgFontAction, &TImageForm::ImgFontActionExecute);
  connectGuarded(CropAction, &TImageForm::CropActionExecute);
  connectGuarded(FontToAllAction, &TImageForm::FontToAllActionExecute);
  connectGuarded(CommentToAllAction, &TImageForm::CommentToAllActionExecute);
  connectGuarded(CropEscapeAction, &TImageForm::CropEscapeActionExecute);
  connectGuarded(ValueListEditor1, &TValueListEditor::StringsChange, &TImageForm::ValueListEditor1StringsChange);
  connect(OutlineCheck, &QCheckBox::clicked, this, [this](bool on) { Guard([this, on] { OutlineCheckClick(on); }); });
  connectGuarded(Timer1, &QTimer::timeout, &TImageForm::RequestPreview);
  connect(ScrollBox1, &TPictureColumn::LoadFailures, this, [this](const QString& m) { ShowError(m); });

  const auto moved = [this](QPoint pos) { Guard([this, pos] { Image1MouseMove(pos); }); };
  connect(Image1, &TImageView::mouseMoved, this, moved);
  connect(ClipShape, &TClipShape::mouseMoved, this, moved);
  connectGuarded(ClipShape, &TClipShape::mousePressed, &TImageForm::ClipShapeMouseDown);
  // While the pointer is held the view receives every press; one on the
  // frame counts as a press on the frame.
  connect(Image1, &TImageView::mousePressed, this, [this](QPoint pos, Qt::MouseButton) {
    if (CropModeActive() && ClipShape->isVisible() && ClipShape->geometry().contains(pos))
      Guard([this] { ClipShapeMouseDown(); });
  });

  exportProgress_ = new TExportProgress(StatusBar1, ProgressBar1, CancelExportButton,
                                       [this] { CancelExportButtonClick(); });
  Panel1->installEventFilter(this);  // Panel1Resize
}

void TImageForm::FormCreate() {
  DefaultFont = StoredDefaultFont(ExeDir);
  // What the copies carry: after the default font's entries.
  for (QObject* object : FontAction->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object); menu && !CopyOptions) CopyOptions = new CopyOptionsMenu(menu, this);
  CopyOptions->SetSettings(StoredCopySettings(ExeDir));
  ShowLabelFont();
}

// ---------------------------------------------------------------------------
// Start and close

void TImageForm::closeEvent(QCloseEvent* event) {
  if (exportAll_) {
    // The run is stopped first; the window closes when it has ended.
    event->ignore();
    if (AskCancelExport()) {
      closeAfterExport_ = true;
      CancelExportButtonClick();
    }
    return;
  }
  CommitPendingEdit(false);
  if (const int unexported = Edits->Unexported(); unexported > 0 && !AskCloseWithEdits(unexported)) {
    event->ignore();
    return;
  }
  // A write that fails keeps the window open; the next close tries again.
  QString error = WriteFontDialogFile(FontDialogPath(ExeDir), DefaultFont);
  if (error.isEmpty()) error = WriteStampOptionsFile(StampOptionsPath(ExeDir), DefaultFont, PrintControls->DefaultPrint);
  if (error.isEmpty()) error = WriteCopySettingsFile(CopySettingsPath(ExeDir), CopyOptions->Settings());
  if (!error.isEmpty()) {
    ShowError(error);
    event->ignore();
    return;
  }
  SetCropMode(false);
  event->accept();
}

void TImageForm::dragEnterEvent(QDragEnterEvent* event) {
  // Opening is one of the things Export All holds back while it runs.
  if (OpenPicture1->isEnabled() && !TPictureColumn::DroppedPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TImageForm::dropEvent(QDropEvent* event) {
  const QStringList files = ExpandPictureArguments(TPictureColumn::DroppedPaths(event->mimeData()));
  if (files.isEmpty() || !OpenPicture1->isEnabled()) return;
  event->acceptProposedAction();
  // Opened once the drag has ended: an error box must not hold the source
  // of the drag waiting.
  QTimer::singleShot(0, this, [this, files] {
    if (!ExportRunning()) Guard([this, &files] { OpenPicture1Accept(files); });
  });
}

void TImageForm::FontActionExecute() { RunFontDialog(DefaultFont); }

void TImageForm::Guard(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
  }
}

void TImageForm::OpenPicture1Execute() {
  const QStringList files = RunOpenDialog();
  if (!files.isEmpty()) OpenPicture1Accept(files);
}

void TImageForm::ImgFontActionExecute() {
  ImgFontActionBeforeExecute();
  if (RunFontDialog(ImgFontDialogFont)) ImgFontActionAccept();
}

// ---------------------------------------------------------------------------
// Picture list, selection and editing

void TImageForm::OpenPicture1Accept(const QStringList& files) {
  // A picture open already is not opened again: its panel is selected.
  // A file that fails is never current: no entry handler.
  QStringList fresh;
  for (const QString& file : files)
    if (!PanelOf(file) && !fresh.contains(file)) fresh << file;
  int restored = 0;
  const QList<TImgPanel*> opened = ScrollBox1->Open(fresh, [this, &restored](TImgPanel* panel) {
    connect(panel, &TImgPanel::entered, this, [this](TImgPanel* p) { Guard([this, p] { OnEnterImagePanel(p); }); });
    panel->SetStampFont(&DefaultFont);
    panel->installEventFilter(this);  // the column's keys
    if (Edits->Opened(panel)) ++restored;
    PrintControls->Adopt(panel);
    panel->PanelClick();
    // The focus reaches the panel only in an active window; selecting it
    // again once the focus arrives changes nothing.
    OnEnterImagePanel(panel);
  });
  if (opened.contains(CurrentPanel)) {
    CurrentPanel->PanelClick();  // the focus it could not take hidden
    AskPreview();                // the redraw timer finds it drawn
  }
  if (!files.isEmpty()) {
    LastFolder = QDir::cleanPath(QFileInfo(files.last()).absolutePath());
    // The last one asked for is current, also when it was open already.
    if (TImgPanel* last = PanelOf(files.last()); last && last != CurrentPanel) SelectPanel(last);
  }
  if (restored > 0) StatusText->setText(tr("Восстановлено правок: %1").arg(restored));
  ScrollBox1->LoadThumbnails(opened, {});
}

void TImageForm::RequestPreview() {
  Timer1->stop();
  AskPreview();
}

void TImageForm::AskPreview(bool again) {
  if (!CurrentPanel) return;
  ScrollBox1->AskPreview(
      CurrentPanel, Image1, [this](const TImgPanel* panel) { return panel == CurrentPanel; },
      [this](const QString& message) { ShowError(message); }, again, PreviewJob());
}

QSize TImageForm::PreviewSize() const {
  if (!CurrentPanel || !CurrentPanel->photo().HasFacts()) return Image1->Picture().size();
  const TRect& crop = CurrentPanel->photo().crop;
  return OutputSize(crop.Width(), crop.Height(), Image1->Target());
}

QRect TImageForm::PreviewRect() const { return Image1->RectFor(PreviewSize()); }

void TImageForm::OnEnterImagePanel(TImgPanel* sender) {
  if (sender == nullptr || sender == CurrentPanel) return;
  CommitPendingEdit(false);  // what was typed for the panel left behind
  if (CurrentPanel) {
    CurrentPanel->Deselect();
    Image1->ClearPicture();
  }
  CurrentPanel = sender;
  CurrentPanel->Select();
  ValueListEditor1->SetValue(kDateKey, CurrentPanel->DateText);
  ValueListEditor1->SetValue(kCommentKey, CurrentPanel->Comment);
  LabelFont = CurrentPanel->GetStampFont();
  ShowLabelFont();
  ShowPanelExtras();
  CropAction->setEnabled(true);
  CropAction->setChecked(CurrentPanel->IsCropped());
  PrintControls->Sync();
  EnableTimer1();
}

void TImageForm::SetApplyEnabled(bool enabled) {
  if (!enabled || CurrentPanel) ApplyAction->setEnabled(enabled);
}

void TImageForm::ValueListEditor1StringsChange() { SetApplyEnabled(true); }

void TImageForm::ApplyActionExecute() {
  SetApplyEnabled(false);
  if (!CurrentPanel) return;
  ApplyEditorToPanel();
  AskPreview(true);
  PrintControls->Sync();
}

void TImageForm::ApplyEditorToPanel() {
  CurrentPanel->DateText = ValueListEditor1->Value(kDateKey);
  // The date picked from the drop-down names its source.
  for (const DateChoice& c : CurrentPanel->DateChoices)
    if (c.text == CurrentPanel->DateText && DateSourceText(c.source) == ValueListEditor1->Note(kDateKey))
      CurrentPanel->DateFrom = c.source;
  CurrentPanel->Comment = ValueListEditor1->Value(kCommentKey);
  CurrentPanel->SetStampFont(&LabelFont);
  Edits->Changed({CurrentPanel});  // one undo step, and kept
}

void TImageForm::ImgFontActionBeforeExecute() {
  if (CurrentPanel) ImgFontDialogFont = CurrentPanel->GetStampFont();
}

void TImageForm::ImgFontActionAccept() {
  if (!CurrentPanel) return;
  const bool outline = LabelFont.outline;  // set by the check box, not the dialog
  LabelFont = ImgFontDialogFont;
  LabelFont.outline = outline;
  ShowLabelFont();
  SetApplyEnabled(true);
  PreviewPending();
  PrintControls->Sync();
}

void TImageForm::ShowLabelFont() {
  ImgCmtLabel->setFont(LabelFont.ToQFont());
  QPalette palette = ImgCmtLabel->palette();
  palette.setColor(QPalette::WindowText, LabelFont.Color());
  ImgCmtLabel->setPalette(palette);
}

void TImageForm::Panel1Resize() { EnableTimer1(); }

void TImageForm::EnableTimer1() {
  // Enabling a running timer does not restart its count.
  if (!Timer1->isActive()) Timer1->start();
}

void TImageForm::Timer1Timer() { RequestPreview(); }

void TImageForm::CloseImageActionExecute() {
  if (CurrentPanel) {
    Edits->Close(CurrentPanel);  // the next panel becomes current
    return;
  }
  CropAction->setEnabled(false);
  ApplyAction->setEnabled(false);
  PrintControls->Sync();
}

bool TImageForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel1 && event->type() == QEvent::Resize) Guard([this] { Panel1Resize(); });
  if (event->type() == QEvent::KeyPress)
    if (auto* panel = qobject_cast<TImgPanel*>(watched); panel && !exportAll_) {
      bool moved = false;
      Guard([&] { moved = MoveInColumn(panel, static_cast<QKeyEvent*>(event)->key()); });
      if (moved) return true;
    }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// 10x15 frame

void TImageForm::CropActionExecute() {
  if (CropAction->isChecked()) {
    try {
      CommitPendingEdit(true);
      // Right after a selection the preview waits for the timer. The frame
      // is laid where the preview goes (PreviewRect, never of no size while
      // there is a picture, so the held pointer has a way out); the preview
      // under it is asked for now.
      if (CurrentPanel && Image1->Picture().isNull()) Timer1Timer();
    } catch (...) {
      CropAction->setChecked(false);
      throw;
    }
  }
  SetCropMode(CropAction->isChecked());
  if (CropModeActive() || !CurrentPanel) return;
  CurrentPanel->ResetCrop();
  SetApplyEnabled(true);
  ApplyActionExecute();
}

void TImageForm::SetCropMode(bool on) {
  CropEscapeAction->setEnabled(on);
  if (!on) {
    pointerClip_.Release(Image1);
    StatusText->clear();
    ClipShape->hide();
    return;
  }
  // The frame of the picture's print format over the drawn picture.
  const QRect frame = PreviewRect();
  const PrintFormatId format = CurrentPanel ? CurrentPanel->Print.format : kDefaultPrintFormat;
  const FrameGeometry geometry = FrameOf(format, frame.width(), frame.height());
  ClipShape->setGeometry(QRect(frame.topLeft(), QSize(int(geometry.width), int(geometry.height))));
  pointerClip_.Hold(Image1);
  StatusText->setText(tr("Для завершения нажмите правую кнопку мыши"));
  ClipShape->show();
  ClipShape->raise();
}

bool TImageForm::CropModeActive() const { return pointerClip_.Active(); }

void TImageForm::Image1MouseMove(QPoint pos) {
  if (!CurrentPanel || !CropModeActive()) return;
  pos = pointerClip_.Keep(Image1, pos);
  const QRect drawn = PreviewRect();
  const int w = ClipShape->width();
  const int h = ClipShape->height();
  ClipShape->move(std::max(std::min(pos.x() - w / 2, drawn.width() - w), 0),
                  std::max(std::min(pos.y() - h / 2, drawn.height() - h), 0));
}

void TImageForm::ClipShapeMouseDown() {
  // The mode ends whatever applying the crop does.
  struct EndMode {
    TImageForm* form;
    ~EndMode() { form->SetCropMode(false); }
  } endMode{this};
  if (!CurrentPanel) return;
  // The frame's offset along the side it moves on, as a percentage of it.
  const QRect drawn = PreviewRect();
  const FrameGeometry geometry = FrameOf(CurrentPanel->Print.format, drawn.width(), drawn.height());
  if (geometry.horizontal)
    CurrentPanel->SetCropAt(PercentOf(ClipShape->x(), drawn.width()));
  else
    CurrentPanel->SetCropAt(PercentOf(ClipShape->y(), drawn.height()));
  SetApplyEnabled(true);
  ApplyActionExecute();
}

// ---------------------------------------------------------------------------
// Stamp extras: outline, to all pictures, where the date came from, pending
// edits

void TImageForm::ShowPanelExtras() {
  OutlineCheck->setChecked(LabelFont.outline);
  QList<ValueChoice> choices;
  for (const DateChoice& c : CurrentPanel->DateChoices) choices.append({c.text, DateSourceText(c.source)});
  ValueListEditor1->SetChoices(kDateKey, choices, DateSourceText(CurrentPanel->DateFrom));
}

void TImageForm::OutlineCheckClick(bool on) {
  // As with the font dialog, nothing changes without a current picture.
  if (!CurrentPanel) {
    OutlineCheck->setChecked(LabelFont.outline);
    return;
  }
  LabelFont.outline = on;
  SetApplyEnabled(true);
  PreviewPending();
}

RenderJob TImageForm::PreviewJob() const {
  RenderJob job = CurrentPanel->StampedJob();
  job.font = LabelFont;
  return job;
}

void TImageForm::PreviewPending() {
  if (!CurrentPanel || CropModeActive()) return;
  AskPreview(true);
}

bool TImageForm::HasPendingEdit() {
  return CurrentPanel && (ValueListEditor1->Value(kDateKey) != CurrentPanel->DateText ||
                          ValueListEditor1->Value(kCommentKey) != CurrentPanel->Comment ||
                          LabelFont != CurrentPanel->GetStampFont());
}

void TImageForm::CommitPendingEdit(bool redraw) {
  ValueListEditor1->FinishEditing();
  if (!HasPendingEdit()) return;
  if (redraw) {
    ApplyActionExecute();
  } else {
    SetApplyEnabled(false);
    ApplyEditorToPanel();
  }
}

void TImageForm::FontToAllActionExecute() {
  if (!CurrentPanel) return;
  CommitPendingEdit(false);
  const TStampFont font = CurrentPanel->GetStampFont();
  for (TImgPanel* panel : Panels()) panel->SetStampFont(&font);
  Edits->Changed(Panels(), tr("Шрифт для всех"));
  AskPreview(true);
  PrintControls->Sync();
}

void TImageForm::CommentToAllActionExecute() {
  if (!CurrentPanel) return;
  CommitPendingEdit(false);
  const QString comment = CurrentPanel->Comment;
  for (TImgPanel* panel : Panels()) panel->Comment = comment;
  Edits->Changed(Panels(), tr("Комментарий для всех"));
  AskPreview(true);
}

void TImageForm::CropEscapeActionExecute() {
  if (!CropModeActive()) return;
  SetCropMode(false);
  // The tick was set on entering; it goes back to what the crop is.
  CropAction->setChecked(CurrentPanel && CurrentPanel->IsCropped());
}

}  // namespace tessaly
