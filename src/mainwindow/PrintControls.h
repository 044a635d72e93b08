// The window's print controls: the print format (on the tool bar beside
// 10x15 and in the "Печать" menu), white borders, where the stamp sits, safe
// margins, the date form, the film look, "для всех" for the print, and
// printing ("Печать...", its preview and "Печать в PDF..." in the File menu).
// Choices of the stamp's look go into the pending font (LabelFont) and show
// in the preview at once; Apply commits them as it commits the font. The
// print format and the borders take effect on the picture at once and
// become the default for pictures opened later.
#pragma once

#include <QObject>
#include <functional>

#include "PrintFormat.h"
#include "StampFont.h"

class QAction;
class QActionGroup;
class QMenu;
class QPagedPaintDevice;
class QToolButton;

namespace tessaly {

class TImageForm;
class TImgPanel;

class TPrintControls : public QObject {
  Q_OBJECT

 public:
  explicit TPrintControls(TImageForm* form);

  QMenu* PrintMenu;
  QToolButton* FormatButton;  // on the tool bar beside 10x15
  QActionGroup* FormatGroup;
  QAction* FitAction;           // "С полями"
  QActionGroup* PositionGroup;
  QAction* SafeMarginsAction;   // "Безопасные поля"
  QActionGroup* DateFormGroup;
  QAction* FilmAction;          // "Плёнка"
  QAction* PrintToAllAction;    // "Формат для всех"
  QAction* PrintAction;         // "Печать..."
  QAction* PrintPreviewAction;  // "Предпросмотр печати..."
  QAction* PdfAction;           // "Печать в PDF..."

  // Given to every picture opened later; kept in "StampOptions.ini".
  PrintChoice DefaultPrint;

  // The ticks of the current picture (a picture selected, Apply, a font
  // chosen).
  void Sync();
  // A newly opened picture: the default print and the date in its form.
  void Adopt(TImgPanel* panel);

  void ChooseFormat(PrintFormatId format);
  void ChooseFit(bool fit);
  void ChoosePosition(StampPosition position);
  void ChooseSafeMargins(bool on);
  void ChooseDateForm(const QString& form);
  void ChooseFilm();
  void PrintToAll();
  // The pictures as pages on device: the current one, or all in the order
  // they were opened.
  void PaintPages(QPagedPaintDevice& device, bool all);
  void PrintActionExecute();
  void PrintPreviewActionExecute();
  void PdfActionExecute();

  // Replaceable for tests: where "Печать в PDF..." writes ("" to cancel),
  // and the note that the film look's font is missing.
  std::function<QString()> AskPdfPath;
  std::function<void(const QString&)> ShowNote;

 private:
  void PendingLookChanged();
  TImageForm* form_;
};

}  // namespace tessaly
