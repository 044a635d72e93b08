// The main window's controls and actions as the design lays them out, with
// their designer names, captions, shortcuts, icons and initial states: the
// menu bar and tool bar, the column of panels, the editor with the font
// button and sample, the large view with the 10x15 frame, the status bar
// with the Export All progress, and the redraw timer. Built once by
// SetUpControls; what they do is wired by the window (ImgMain.h).
#pragma once

#include <QCoreApplication>
#include <QFont>
#include <QString>

class QAction;
class QCheckBox;
class QLabel;
class QMainWindow;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;

namespace tessaly {

enum class DateSource;
class TClipShape;
class TImageView;
class TPictureColumn;
class TValueListEditor;

class TImageFormControls {
  // The window's own translation context, so its texts keep one.
  Q_DECLARE_TR_FUNCTIONS(tessaly::TImageForm)

 public:
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
  TPictureColumn* ScrollBox1;  // the panels, their thumbnails and the preview
  QSplitter* Splitter1;
  QWidget* Panel1;
  QWidget* Panel2;
  TValueListEditor* ValueListEditor1;
  QToolButton* BitBtn1;
  QLabel* ImgCmtLabel;
  QCheckBox* OutlineCheck;  // "Обводка": the pending outline
  QWidget* Panel3;
  TImageView* Image1;
  TClipShape* ClipShape;
  QStatusBar* StatusBar1;
  QLabel* StatusText;  // the status bar's one simple text
  QProgressBar* ProgressBar1;
  QToolButton* CancelExportButton;  // beside the progress bar during Export All
  QTimer* Timer1;

  // The Open dialog's filter: every picture the loader reads, then each
  // format.
  static QString PictureFilter();
  static QFont DesignFont(const char* face);
  // The date choices' captions: where each date came from.
  static QString DateSourceText(DateSource source);
  // The standard error box, and the question on closing during Export All
  // (true: stop the run).
  static void ErrorBox(QWidget* parent, const QString& message);
  static bool AskStopExport(QWidget* parent);

 protected:
  // Makes the controls in window, which owns them.
  void SetUpControls(QMainWindow* window);
};

}  // namespace tessaly
