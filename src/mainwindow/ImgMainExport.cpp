// The window's Export and Export All: one copy of the current picture, or
// a run over every picture with its progress, its end and its summary.
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

// ---------------------------------------------------------------------------
// Export

void TImageForm::ExportActionExecute() {
  CommitPendingEdit(true);
  if (!CurrentPanel) return;
  QString warning;
  CurrentPanel->ExportCopy(CopyOptions->Settings(), &warning);
  Edits->Exported(CurrentPanel);
  ShowCopyWarning(CurrentPanel->FileName, warning);
}

void TImageForm::ShowCopyWarning(const QString& file, const QString& warning) {
  if (!warning.isEmpty())
    StatusText->setText(tr("%1: копия записана без части метаданных (%2)").arg(QFileInfo(file).fileName(), warning));
}

void TImageForm::ExportAllActionExecute() {
  if (exportAll_) return;  // one run at a time
  CommitPendingEdit(true);
  const QList<TImgPanel*> panels = Panels();
  exportProgress_->Begin(int(panels.size()));
  if (panels.isEmpty()) {
    exportProgress_->End();
    return;
  }
  // Each panel as it is now: the workers read copies, never the panels. A
  // photo that fails is left out and the run goes on.
  QList<Photo> photos;
  for (TImgPanel* panel : panels) photos << panel->photo();
  exportAll_ = new ExportAllController(true, ExportWorker, this, ExportWorkers);
  connect(exportAll_, &ExportAllController::Progress, this, [this](int done, int total, const QString& file) {
    exportProgress_->Step(done, total, file, exportAll_->Stopping());
  });
  // A photo changed since it was opened was exported by its new facts,
  // which its panel takes.
  connect(exportAll_, &ExportAllController::Refreshed, this,
          [shown = QList<QPointer<TImgPanel>>(panels.cbegin(), panels.cend())](int index, const Photo& photo) {
            if (TImgPanel* panel = shown.value(index)) panel->photo().TakeFacts(photo);
          });
  exportAll_->SetCopySettings(CopyOptions->Settings());
  connect(exportAll_, &ExportAllController::Warned, this, &TImageForm::ShowCopyWarning);
  connect(exportAll_, &ExportAllController::Finished, this, &TImageForm::ExportAllFinished);
  LockForExport(true);
  exportAll_->Start(photos);
}

void TImageForm::CancelExportButtonClick() {
  if (!exportAll_) return;
  exportAll_->Cancel();
  exportProgress_->Stopping();
}

void TImageForm::ExportAllFinished() {
  const ExportAllController::Outcome outcome = exportAll_->Result();
  exportAll_->deleteLater();
  exportAll_ = nullptr;
  LockForExport(false);
  exportProgress_->End();
  Edits->ExportedAll(Panels(), outcome);
  if (closeAfterExport_) {
    closeAfterExport_ = false;
    close();
    return;
  }
  ShowExportSummary(ExportSummaryText(outcome), outcome.written > 0 ? outcome.folders.first() : QString());
}

void TImageForm::LockForExport(bool locked) {
  if (locked) {
    // Crop mode holds the pointer; the run lets it go.
    if (CropModeActive()) {
      SetCropMode(false);
      CropAction->setChecked(CurrentPanel && CurrentPanel->IsCropped());
    }
    lockedActions_.clear();
    for (QAction* action : findChildren<QAction*>(Qt::FindDirectChildrenOnly)) {
      if (action == FileExit1) continue;
      lockedActions_.insert(action, action->isEnabled());
      action->setEnabled(false);
    }
  } else {
    for (auto it = lockedActions_.cbegin(); it != lockedActions_.cend(); ++it) it.key()->setEnabled(it.value());
    lockedActions_.clear();
  }
  // The editor and the panels (selecting one would enable Apply again).
  Panel2->setEnabled(!locked);
  ScrollBox1->widget()->setEnabled(!locked);
}

}  // namespace tessaly
