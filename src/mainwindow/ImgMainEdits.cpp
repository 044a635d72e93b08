// TImageForm: undo and redo, the edits kept between runs, the settings kept
// between runs, and how the column of panels behaves (no picture twice, the
// next one after a close, moving with the keys).
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>

#include "ImgMain.h"
#include "ImgPanel.h"
#include "PictureEdits.h"
#include "PictureColumn.h"
#include "ValueListEditor.h"

namespace tessaly {
namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kSplitterKey = QStringLiteral("window/splitter");
const QString kLastFolderKey = QStringLiteral("open/lastFolder");

QString Absolute(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

}  // namespace

void TImageForm::CreateEditActions() {
  auto make = [this](const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  UndoAction = make("UndoAction", tr("Отменить"));
  UndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  UndoAction->setEnabled(false);
  connectGuarded(UndoAction, &TImageForm::UndoActionExecute);
  RedoAction = make("RedoAction", tr("Повторить"));
  RedoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  RedoAction->setEnabled(false);
  connectGuarded(RedoAction, &TImageForm::RedoActionExecute);
  ForgetEditsAction = make("ForgetEditsAction", tr("Забыть правки"));
  connectGuarded(ForgetEditsAction, &TImageForm::ForgetEditsActionExecute);

  QUndoStack& stack = Edits->Stack();
  connect(&stack, &QUndoStack::canUndoChanged, UndoAction, &QAction::setEnabled);
  connect(&stack, &QUndoStack::canRedoChanged, RedoAction, &QAction::setEnabled);
  connect(&stack, &QUndoStack::undoTextChanged, this, [this](const QString& step) {
    UndoAction->setText(step.isEmpty() ? tr("Отменить") : tr("Отменить: %1").arg(step));
  });
  connect(&stack, &QUndoStack::redoTextChanged, this, [this](const QString& step) {
    RedoAction->setText(step.isEmpty() ? tr("Повторить") : tr("Повторить: %1").arg(step));
  });

  ExportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  ExportAllAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  CloseImageAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  FileExit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  addActions({UndoAction, RedoAction, ExportAction, ExportAllAction, CloseImageAction, FileExit1});

  // "Правка" between "Файл" and "Параметры".
  auto* edit = new QMenu(tr("Правка"), menuBar());
  edit->addActions({UndoAction, RedoAction});
  edit->addSeparator();
  edit->addAction(ForgetEditsAction);
  QAction* before = nullptr;
  for (QObject* object : FontAction->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object)) before = menu->menuAction();
  menuBar()->insertMenu(before, edit);
  for (QObject* object : FontAction->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object)) edit->setStyleSheet(menu->styleSheet());
}

void TImageForm::UseEditStore(const QString& path) { Edits->UseStore(path); }

bool TImageForm::RestoreSettings(const QSettings& settings) {
  LastFolder = settings.value(kLastFolderKey).toString();
  Splitter1->restoreState(settings.value(kSplitterKey).toByteArray());
  const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
  return !geometry.isEmpty() && restoreGeometry(geometry);
}

void TImageForm::SaveSettings(QSettings& settings) const {
  settings.setValue(kGeometryKey, saveGeometry());
  settings.setValue(kSplitterKey, Splitter1->saveState());
  settings.setValue(kLastFolderKey, LastFolder);
  settings.sync();
}

void TImageForm::UndoActionExecute() {
  // The pointer is let go and a half-typed text dropped: the step undone is
  // the last applied one.
  if (CropModeActive()) CropEscapeActionExecute();
  Edits->Stack().undo();
  AskPreview(true);
}

void TImageForm::RedoActionExecute() {
  if (CropModeActive()) CropEscapeActionExecute();
  Edits->Stack().redo();
  AskPreview(true);
}

void TImageForm::ForgetEditsActionExecute() {
  if (!CurrentPanel) return;
  Edits->Forget(CurrentPanel);
  AskPreview(true);
}

void TImageForm::ShowCurrentEdits() {
  if (!CurrentPanel) return;
  ValueListEditor1->SetValue(kDateKey, CurrentPanel->DateText);
  ValueListEditor1->SetValue(kCommentKey, CurrentPanel->Comment);
  LabelFont = CurrentPanel->GetStampFont();
  ShowLabelFont();
  ShowPanelExtras();
  CropAction->setChecked(CurrentPanel->IsCropped());
  SetApplyEnabled(false);
}

void TImageForm::SelectPanel(TImgPanel* panel) {
  panel->PanelClick();
  // The focus reaches the panel only in an active window.
  OnEnterImagePanel(panel);
  ScrollBox1->ensureWidgetVisible(panel, 0, 0);
}

QList<TImgPanel*> TImageForm::ColumnOrder() const {
  QList<TImgPanel*> panels = ScrollBox1->InColumn();
  panels.removeIf([this](TImgPanel* p) { return !Edits->Knows(p); });
  return panels;
}

int TImageForm::PanelPosition(TImgPanel* panel) const { return ScrollBox1->PositionOf(panel); }

TImgPanel* TImageForm::PanelOf(const QString& path) const {
  const QString wanted = Absolute(path);
  for (TImgPanel* panel : Panels())
    if (Edits->Knows(panel) && Absolute(panel->FileName) == wanted) return panel;
  return nullptr;
}

void TImageForm::RemovePanel(TImgPanel* panel) {
  const int position = PanelPosition(panel);
  const bool current = panel == CurrentPanel;
  if (current) {
    // The focus goes nowhere rather than to whichever panel Qt picks.
    panel->clearFocus();
    CurrentPanel = nullptr;
  }
  delete panel;
  CropAction->setEnabled(false);
  ApplyAction->setEnabled(false);
  if (!current) return;
  // The panel that took its place, else the one above it.
  const QList<TImgPanel*> column = ColumnOrder();
  TImgPanel* next = nullptr;
  for (TImgPanel* p : column) {
    next = p;
    if (PanelPosition(p) >= position) break;
  }
  if (next) {
    SelectPanel(next);
    return;
  }
  Image1->ClearPicture();
  ValueListEditor1->SetChoices(kDateKey, {});
  ValueListEditor1->SetValue(kDateKey, QString());
  ValueListEditor1->SetValue(kCommentKey, QString());
}

TImgPanel* TImageForm::ReopenPanel(const QString& path, int position) {
  TImgPanel* panel = ScrollBox1->InsertPanel(position);
  try {
    panel->LoadInfo(path);
  } catch (const std::exception& e) {
    delete panel;
    ShowError(QString::fromUtf8(e.what()));
    return nullptr;
  }
  connect(panel, &TImgPanel::entered, this, [this](TImgPanel* p) { Guard([this, p] { OnEnterImagePanel(p); }); });
  panel->installEventFilter(this);  // the column's keys
  panel->SetStampFont(&DefaultFont);
  ScrollBox1->LoadThumbnails({panel}, {});
  return panel;
}

bool TImageForm::MoveInColumn(TImgPanel* from, int key) {
  int step = 0;
  const int page = std::max(1, ScrollBox1->viewport()->height() / TImgPanel::kPanelHeight);
  switch (key) {
    case Qt::Key_Up: step = -1; break;
    case Qt::Key_Down: step = 1; break;
    case Qt::Key_PageUp: step = -page; break;
    case Qt::Key_PageDown: step = page; break;
    default: return false;
  }
  const QList<TImgPanel*> column = ColumnOrder();
  const int at = int(column.indexOf(from));
  if (at < 0) return false;
  TImgPanel* to = column[std::clamp(at + step, 0, int(column.size()) - 1)];
  if (to != from) SelectPanel(to);
  return true;
}

}  // namespace tessaly
