// TImageForm: the program's main window. A column of picture panels on the
// left; on the right the date/comment editor, the stamp font, and a large
// stamped preview of the current picture with the 10x15 crop frame. Actions:
// open, export, export all, close, exit, default font, apply, font, 10x15.
//
// Controls keep their designer names. Handlers are public so that a person's
// use of the window can be replayed step by step; the modal dialogs (open,
// font, error box, the question on closing during Export All) go through
// replaceable functions for the same reason.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QHash>
#include <functional>

#include "CropFrame.h"
#include "ExportRun.h"
#include "ImgMainControls.h"
#include "ImgPanel.h"
#include "PictureColumn.h"
#include "Render.h"
#include "StampFont.h"

namespace tessaly {

class ExportAllController;
class TExportProgress;

class TImgPanel;

class TImageForm : public QMainWindow, public TImageFormControls {
  Q_OBJECT

 public:
  // exeDir: the executable's folder, where "FontDialog.res" is kept.
  explicit TImageForm(const QString& exeDir, QWidget* parent = nullptr);
  ~TImageForm() override;

  QString ExeDir;           // with a trailing separator
  TStampFont DefaultFont;   // given to every newly opened picture
  TStampFont ImgFontDialogFont;  // what the "Шрифт" dialog showed last
  TStampFont LabelFont;     // ImgCmtLabel's font: what Apply gives the picture
  TImgPanel* CurrentPanel = nullptr;

  // Modal dialogs, replaceable.
  std::function<QStringList()> RunOpenDialog;
  std::function<bool(TStampFont&)> RunFontDialog;  // true on OK
  std::function<void(const QString&)> ShowError;
  // Closing during Export All: true to stop the run (the window closes once
  // the exports under way are written).
  std::function<bool()> AskCancelExport;
  // What writes each copy of Export All, on how many threads (0: one per
  // core); empty: Photo::ExportCopy.
  ExportRun::Worker ExportWorker;
  int ExportWorkers = 0;
  // The end of Export All: the summary's text, and the Export folder a
  // button offers to open (empty: none, no copy was written). The default
  // box does not wait for an answer.
  std::function<void(const QString& text, const QString& folder)> ShowExportSummary;
  // Opens a folder in the desktop's file manager.
  std::function<void(const QString& folder)> OpenFolder;

  // Panels in the order they were opened.
  QList<TImgPanel*> Panels() const { return ScrollBox1->Panels(); }

  // Handlers.
  void FontActionExecute();
  void OpenPicture1Accept(const QStringList& files);
  void OnEnterImagePanel(TImgPanel* sender);
  void SetApplyEnabled(bool enabled);
  void ValueListEditor1StringsChange();
  void ApplyActionExecute();
  void ImgFontActionBeforeExecute();
  void ImgFontActionAccept();
  void Panel1Resize();
  void Timer1Timer();
  void CloseImageActionExecute();
  void CropActionExecute();
  void SetCropMode(bool on);
  bool CropModeActive() const;
  void Image1MouseMove(QPoint pos);
  void ClipShapeMouseDown();
  void ExportActionExecute();
  void ExportAllActionExecute();
  // Cancel beside the progress bar, or Escape, during Export All: no further
  // export starts; those under way finish.
  void CancelExportButtonClick();
  // The preview of the current picture decoded on the workers (the redraw
  // timer's tick; Timer1Timer asks for it at once). Apply, the 10x15 cut and
  // the "для всех" actions ask for it the same way: no picture is drawn on
  // the window's thread, and the newest request replaces an older one.
  void RequestPreview();

  // Thumbnails or a preview being decoded; Export All running.
  bool LoadingPictures() const { return ScrollBox1->Loading(); }
  bool ExportRunning() const { return exportAll_ != nullptr; }

  // The stamp of the current picture given to every open picture: its font
  // and outline, or its comment. Pending edits are applied first.
  void FontToAllActionExecute();
  void CommentToAllActionExecute();
  void OutlineCheckClick(bool on);
  // Escape in the 10x15 mode: the mode ends, the crop stays as it was.
  void CropEscapeActionExecute();
  // What was typed or chosen but not applied goes into the current picture
  // as Apply would put it; redraw: with Apply's redraw of the preview.
  void CommitPendingEdit(bool redraw);
  bool HasPendingEdit();

  static double PercentOf(double a, double b) { return a / (b / 100); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Photos and folders dropped on the window open as if chosen in the Open
  // dialog, a folder as the pictures directly inside it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What the controls do.
  void Wire();
  void FormCreate();
  // Runs a handler; an error it raises goes to the error box.
  void Guard(const std::function<void()>& handler);
  // The handler run, guarded, each time action is triggered (or sender's
  // signal is emitted).
  void connectGuarded(QAction* action, void (TImageForm::*handler)()) {
    connectGuarded(action, &QAction::triggered, handler);
  }
  template <typename Sender, typename Signal>
  void connectGuarded(Sender* sender, Signal signal, void (TImageForm::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
  }
  // The Open and font actions: their dialog, then what its answer does.
  void OpenPicture1Execute();
  void ImgFontActionExecute();
  void EnableTimer1();
  void ShowLabelFont();
  void ApplyEditorToPanel();
  // The outline check box and the date choices of the current picture.
  void ShowPanelExtras();

  // The preview of the current picture asked of the workers; again: its
  // stamp or crop changed, so it is drawn again even when shown already.
  void AskPreview(bool again = false);
  // The size of the current picture's preview (its crop scaled as the
  // render scales it for Image1), and where Image1 draws it: known from the
  // photo's facts before the workers have drawn it, so the 10x15 frame is
  // laid without waiting for them.
  QSize PreviewSize() const;
  QRect PreviewRect() const;
  // Export All's reports.
  void ExportAllFinished();
  // What could change the panels is disabled during Export All.
  void LockForExport(bool locked);

  ExportAllController* exportAll_ = nullptr;
  TExportProgress* exportProgress_ = nullptr;
  bool closeAfterExport_ = false;
  QHash<QAction*, bool> lockedActions_;
  TPointerClip pointerClip_;  // the 10x15 mode
};

}  // namespace tessaly
