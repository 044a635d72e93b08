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

class QSettings;

namespace tessaly {

class CopyOptionsMenu;
class ExportAllController;
class TExportProgress;
class TPrintControls;

class TImgPanel;
class TPictureEdits;

class TImageForm : public QMainWindow, public TImageFormControls {
  Q_OBJECT

 public:
  // exeDir: the executable's folder, where "FontDialog.res" is kept.
  // unstoredFont: the default font when none is stored yet (a first start).
  explicit TImageForm(const QString& exeDir, QWidget* parent = nullptr, const TStampFont& unstoredFont = TStampFont{});
  ~TImageForm() override;

  QAction* UndoAction;         // "Отменить" (Ctrl+Z)
  QAction* RedoAction;         // "Повторить" (Ctrl+Shift+Z)
  QAction* ForgetEditsAction;  // "Забыть правки": the current picture's kept edits dropped

  TPrintControls* PrintControls = nullptr;  // formats, borders, the stamp's look, printing

  QString ExeDir;           // with a trailing separator
  TStampFont DefaultFont;   // given to every newly opened picture
  CopyOptionsMenu* CopyOptions = nullptr;  // what the copies carry (Параметры menu)
  TStampFont ImgFontDialogFont;  // what the "Шрифт" dialog showed last
  TStampFont LabelFont;     // ImgCmtLabel's font: what Apply gives the picture
  TImgPanel* CurrentPanel = nullptr;
  // Undo steps and the edits kept between runs (none kept until
  // UseEditStore).
  TPictureEdits* Edits;
  QString LastFolder;  // where the Open dialog starts

  // Modal dialogs, replaceable.
  std::function<QStringList()> RunOpenDialog;
  std::function<bool(TStampFont&)> RunFontDialog;  // true on OK
  std::function<void(const QString&)> ShowError;
  // Closing during Export All: true to stop the run (the window closes once
  // the exports under way are written).
  std::function<bool()> AskCancelExport;
  // Closing with pictures whose edits are not exported yet (their number):
  // true to close all the same.
  std::function<bool(int)> AskCloseWithEdits;

  // Keeps the pictures' edits in the database at path and brings them back
  // when their pictures are opened again.
  void UseEditStore(const QString& path);
  // The window's geometry, the splitter and the last folder; false when
  // none were kept.
  bool RestoreSettings(const QSettings& settings);
  void SaveSettings(QSettings& settings) const;
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
  // Redraws the preview with the pending font (LabelFont): a choice of the
  // stamp's look shows before Apply commits it.
  void PreviewPending();

  // Undo steps, kept edits and the column's keys (ImgMainEdits.cpp).
  void UndoActionExecute();
  void RedoActionExecute();
  void ForgetEditsActionExecute();
  // The editor, the sample font and the 10x15 tick from the current
  // picture, as after its selection, nothing pending.
  void ShowCurrentEdits();
  // Selects the panel as a click on it would.
  void SelectPanel(TImgPanel* panel);
  // Takes the panel out of the column; when it was the current one, the
  // next panel (or the one above) becomes current, or the preview and the
  // editor clear when none is left.
  void RemovePanel(TImgPanel* panel);
  // A panel for the picture at the position in the column (0 at the top);
  // none, with the error shown, when it cannot be loaded.
  TImgPanel* ReopenPanel(const QString& path, int position);
  int PanelPosition(TImgPanel* panel) const;
  // The open panel of the picture at path; none when it is not open.
  TImgPanel* PanelOf(const QString& path) const;
  // Up, Down, Page Up, Page Down on a panel: the panel that many steps away
  // becomes current. False for other keys.
  bool MoveInColumn(TImgPanel* from, int key);

  static double PercentOf(double a, double b) { return a / (b / 100); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Photos and folders dropped on the window open as if chosen in the Open
  // dialog, a folder as the pictures directly inside it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TPrintControls;
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
  void CreateEditActions();
  // The open pictures' panels as the column shows them, top first.
  QList<TImgPanel*> ColumnOrder() const;
  void ApplyEditorToPanel();
  // The outline check box and the date choices of the current picture.
  void ShowPanelExtras();
  // The current picture's stamped job with the pending font.
  RenderJob PreviewJob() const;

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
  // A copy written without some of its photo's metadata: why, in the status bar.
  void ShowCopyWarning(const QString& file, const QString& warning);
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
