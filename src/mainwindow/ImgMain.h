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

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QHash>
#include <functional>

#include "ImgPanel.h"
#include "Render.h"
#include "StampFont.h"

class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QVBoxLayout;

namespace tessaly {

class ExportRun;
class ThumbnailLoader;
class TPrintControls;

class TImageView;
class TImgPanel;
class TValueListEditor;

// The 10x15 frame: a dashed outline over the preview that merges the inverted
// pen with the screen, so its black pen shows white and the picture inside
// stays as it is.
class TClipShape : public QWidget {
  Q_OBJECT

 public:
  explicit TClipShape(QWidget* parent);

 signals:
  void mouseMoved(QPoint pos);  // in the frame's parent's coordinates
  void mousePressed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class TImageForm : public QMainWindow {
  Q_OBJECT

 public:
  // exeDir: the executable's folder, where "FontDialog.res" is kept.
  // unstoredFont: the default font when none is stored yet (a first start).
  explicit TImageForm(const QString& exeDir, QWidget* parent = nullptr, const TStampFont& unstoredFont = TStampFont{});
  ~TImageForm() override;

  static inline const QString kDateKey = QStringLiteral("Дата");
  static inline const QString kCommentKey = QStringLiteral("Комментарий");

  // Actions.
  QAction* OpenPicture1;
  QAction* ExportAction;
  QAction* ExportAllAction;
  QAction* CloseImageAction;
  QAction* FileExit1;
  QAction* FontAction;
  QAction* ApplyAction;
  QAction* ImgFontAction;
  QAction* CropAction;
  QAction* FontToAllAction;     // "Шрифт для всех"
  QAction* CommentToAllAction;  // "Комментарий для всех"
  QAction* CropEscapeAction;    // Escape: leaves the 10x15 mode, crop kept

  // Controls.
  QToolBar* ActionToolBar1;
  QScrollArea* ScrollBox1;
  QSplitter* Splitter1;
  QWidget* Panel1;
  QWidget* Panel2;
  TValueListEditor* ValueListEditor1;
  QToolButton* BitBtn1;
  QLabel* ImgCmtLabel;
  QCheckBox* OutlineCheck;  // "Обводка": the pending outline, kept in LabelFont
  QWidget* Panel3;
  TImageView* Image1;
  TClipShape* ClipShape;
  QStatusBar* StatusBar1;
  QLabel* StatusText;  // the status bar's one simple text
  QProgressBar* ProgressBar1;
  QToolButton* CancelExportButton;  // beside the progress bar during Export All
  QTimer* Timer1;
  TPrintControls* PrintControls;  // formats, borders, the stamp's look, printing

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

  // Panels in the order they were opened.
  QList<TImgPanel*> Panels() const;

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
  // timer's tick); Timer1Timer draws it at once.
  void RequestPreview();

  // Thumbnails or a preview being decoded; Export All running.
  bool LoadingPictures() const;
  bool ExportRunning() const { return exportRun_ != nullptr; }

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
  static QString DateSourceText(DateSource source);
  // Redraws the preview with the pending font (LabelFont): a choice of the
  // stamp's look shows before Apply commits it.
  void PreviewPending();

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
  void CreateActions();
  void CreateControls();
  void CreateMenus();
  void FormCreate();
  // Runs a handler; an error it raises goes to the error box.
  void Guard(const std::function<void()>& handler);
  void EnableTimer1();
  void ShowLabelFont();
  void CreateStampExtras();
  void ApplyEditorToPanel();
  // The outline check box and the date choices of the current picture.
  void ShowPanelExtras();
  // The current picture's stamped job with the pending font.
  RenderJob PreviewJob() const;

  ThumbnailLoader& Loader();
  // Thumbnails of newly opened panels on the workers, the preview first;
  // failures gathered for one error box once all are in.
  void LoadPictures(const QList<TImgPanel*>& panels, const QStringList& failures);
  void PicturesLoaded();
  void AskPreview();
  // Thumbnails scrolled into sight are made before the others.
  void PromoteThumbnailsInSight();
  // Export All's reports.
  void ExportStepped(int index, const QString& failure);
  void ExportAllFinished();
  // What could change the panels is disabled during Export All.
  void LockForExport(bool locked);
  void LayOutProgress();

  QVBoxLayout* column_;  // ScrollBox1's stack of panels
  ThumbnailLoader* loader_ = nullptr;
  QStringList loadFailures_;
  QHash<TImgPanel*, quint64> thumbnailTickets_;  // made once answered; a panel gone is removed
  quint64 previewTicket_ = 0;
  struct PreviewShown {
    TImgPanel* panel = nullptr;
    qint64 key = 0;
    RenderTarget target;
  } previewShown_, previewAsked_;  // the last preview the workers drew; the one asked for
  ExportRun* exportRun_ = nullptr;
  QStringList exportFiles_;  // the run's photos, oldest first
  QString exportError_;
  int exportDone_ = 0;
  bool closeAfterExport_ = false;
  QHash<QAction*, bool> lockedActions_;
  // Where the pointer is held; the whole desktop when it is free.
  QRect pointerClip_;
};

}  // namespace tessaly
