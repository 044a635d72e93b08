#include "ImgMainControls.h"

#include <QAction>
#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "CropFrame.h"
#include "HeifFile.h"
#include "ImageView.h"
#include "ImgPanel.h"
#include "PictureColumn.h"
#include "PictureList.h"
#include "ValueListEditor.h"

namespace tessaly {
namespace {

constexpr int kRedrawDelayMs = 300;
const QColor kMenuHighlight(0xE2, 0xE1, 0xDB);  // 14410210 as 0x00BBGGRR

// The font button's glyph: a letter A.
QIcon FontGlyph() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  QFont font;
  font.setBold(true);
  font.setPixelSize(14);
  painter.setFont(font);
  painter.setPen(QColor(0, 0, 128));
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("A"));
  return QIcon(pixmap);
}

}  // namespace

QFont TImageFormControls::DesignFont(const char* face) {
  QFont font(QString::fromLatin1(face));
  font.setPixelSize(11);
  return font;
}

QString TImageFormControls::PictureFilter() {
  QStringList all;
  QStringList each;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format);
    all << pattern;
    each << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(format.toUpper()), pattern);
  }
  for (const char* jpeg : kJpegExtensions)
    if (const QString pattern = QStringLiteral("*.") + QLatin1String(jpeg); !all.contains(pattern)) all << pattern;
  // HEIF photos, as phones name them (IMG_0042.HEIC) and in lower case, for
  // dialogs that match letter case.
  QStringList heif;
  for (const char* ext : kHeifExtensions) heif << QStringLiteral("*.") + QLatin1String(ext);
  for (const char* ext : kHeifExtensions) heif << QStringLiteral("*.") + QLatin1String(ext).toString().toUpper();
  for (const QString& pattern : heif)
    if (!all.contains(pattern)) all << pattern;
  each << QStringLiteral("HEIF (%1)").arg(heif.join(u' '));
  return tr("All (%1)").arg(all.join(u' ')) + QStringLiteral(";;") + each.join(QStringLiteral(";;"));
}

QString TImageFormControls::DateSourceText(DateSource source) {
  switch (source) {
    case DateSource::Original: return tr("EXIF съёмка");
    case DateSource::Digitized: return tr("EXIF оцифровка");
    case DateSource::Modified: return tr("EXIF изменение");
    case DateSource::File: break;
  }
  return tr("файл");
}

void TImageFormControls::ErrorBox(QWidget* parent, const QString& message) {
  // Plain text: a message names files, and a name may look like markup.
  QMessageBox box(QMessageBox::Critical, parent->windowTitle(), message, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool TImageFormControls::AskStopExport(QWidget* parent) {
  return QMessageBox::question(parent, parent->windowTitle(), tr("Идёт экспорт. Прервать его?")) == QMessageBox::Yes;
}

void TImageFormControls::SetUpControls(QMainWindow* window) {
  window->setObjectName(QStringLiteral("ImageForm"));
  window->setWindowTitle(QStringLiteral("Tessaly Orvanel"));
  window->setFont(DesignFont("MS Sans Serif"));
  window->resize(555, 455);

  auto make = [window](const char* name, const QString& caption) {
    auto* action = new QAction(caption, window);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  const QStyle* s = window->style();

  OpenPicture1 = make("OpenPicture1", tr("&Open Picture..."));
  OpenPicture1->setToolTip(tr("Open Picture"));
  OpenPicture1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenPicture1->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));

  ExportAction = make("ExportAction", tr("Export"));

  ExportAllAction = make("ExportAllAction", tr("Ex&port All"));
  ExportAllAction->setToolTip(tr("Export All"));
  ExportAllAction->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));

  CloseImageAction = make("CloseImageAction", tr("Закрыть"));
  CloseImageAction->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));

  FileExit1 = make("FileExit1", tr("E&xit"));
  FileExit1->setToolTip(tr("Exit"));
  FileExit1->setStatusTip(tr("Quits the application"));
  FileExit1->setIcon(s->standardIcon(QStyle::SP_BrowserStop));

  FontAction = make("FontAction", tr("Шрифт по умолчанию"));

  ApplyAction = make("ApplyAction", tr("Применить"));
  ApplyAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
  ApplyAction->setIcon(s->standardIcon(QStyle::SP_DialogApplyButton));
  ApplyAction->setEnabled(false);

  ImgFontAction = make("ImgFontAction", tr("Шрифт"));
  ImgFontAction->setIcon(FontGlyph());

  CropAction = make("CropAction", tr("10x15"));
  CropAction->setIconText(tr("&10x15"));
  CropAction->setCheckable(true);  // Qt flips the tick before triggered
  CropAction->setEnabled(false);

  window->addActions({OpenPicture1, ApplyAction});  // shortcuts work without the menus

  ScrollBox1 = new TPictureColumn;
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));

  Panel1 = new QWidget;
  Panel1->setObjectName(QStringLiteral("Panel1"));

  Panel2 = new QFrame;
  Panel2->setObjectName(QStringLiteral("Panel2"));
  static_cast<QFrame*>(Panel2)->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setFixedHeight(121);
  ValueListEditor1 = new TValueListEditor({kDateKey, kCommentKey}, Panel2);
  ValueListEditor1->setObjectName(QStringLiteral("ValueListEditor1"));
  ValueListEditor1->SetKeyCaption(kDateKey, tr("Дата"));
  ValueListEditor1->SetKeyCaption(kCommentKey, tr("Комментарий"));
  ValueListEditor1->setFixedHeight(65);
  BitBtn1 = new QToolButton(Panel2);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setDefaultAction(ImgFontAction);
  BitBtn1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BitBtn1->setGeometry(8, 72, 97, 25);
  ImgCmtLabel = new QLabel(tr("АаБбВв"), Panel2);
  ImgCmtLabel->setObjectName(QStringLiteral("ImgCmtLabel"));
  ImgCmtLabel->setGeometry(112, 72, 265, 41);
  ImgCmtLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* panel2Layout = new QVBoxLayout(Panel2);
  panel2Layout->setContentsMargins(2, 2, 2, 0);
  panel2Layout->addWidget(ValueListEditor1);
  panel2Layout->addStretch();

  Panel3 = new QWidget;
  Panel3->setObjectName(QStringLiteral("Panel3"));
  Image1 = new TImageView(Panel3);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->SetStretch(true);
  auto* panel3Layout = new QVBoxLayout(Panel3);
  panel3Layout->setContentsMargins(0, 0, 0, 0);
  panel3Layout->addWidget(Image1);
  ClipShape = new TClipShape(Image1);
  ClipShape->setObjectName(QStringLiteral("ClipShape"));

  auto* panel1Layout = new QVBoxLayout(Panel1);
  panel1Layout->setContentsMargins(0, 0, 0, 0);
  panel1Layout->setSpacing(0);
  panel1Layout->addWidget(Panel2);
  panel1Layout->addWidget(Panel3, 1);

  Splitter1 = new QSplitter(Qt::Horizontal);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->addWidget(ScrollBox1);
  Splitter1->addWidget(Panel1);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({161, 394});
  Splitter1->setChildrenCollapsible(false);
  window->setCentralWidget(Splitter1);

  StatusBar1 = window->statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusText = new QLabel;
  StatusBar1->addWidget(StatusText, 1);
  ProgressBar1 = new QProgressBar(window);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();
  CancelExportButton = new QToolButton(StatusBar1);
  CancelExportButton->setObjectName(QStringLiteral("CancelExportButton"));
  CancelExportButton->setText(tr("Отмена"));
  CancelExportButton->setToolTip(tr("Остановить экспорт (Esc)"));
  CancelExportButton->hide();

  Timer1 = new QTimer(window);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(kRedrawDelayMs);

  QMenuBar* bar = window->menuBar();
  bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
  bar->setFont(DesignFont("Tahoma"));
  QMenu* file = bar->addMenu(tr("Файл"));
  file->addActions({OpenPicture1, ExportAction, ExportAllAction});
  file->addSeparator();
  file->addActions({CloseImageAction, FileExit1});
  QMenu* options = bar->addMenu(tr("Параметры"));
  options->addAction(FontAction);

  ActionToolBar1 = window->addToolBar(QStringLiteral("ActionToolBar1"));
  ActionToolBar1->setObjectName(QStringLiteral("ActionToolBar1"));
  ActionToolBar1->setFont(DesignFont("Tahoma"));
  ActionToolBar1->setMovable(false);
  ActionToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ActionToolBar1->addActions({CloseImageAction, ApplyAction, CropAction});

  const QString highlight = kMenuHighlight.name();
  bar->setStyleSheet(QStringLiteral("QMenuBar::item:selected { background: %1; }").arg(highlight));
  file->setStyleSheet(QStringLiteral("QMenu::item:selected { background: %1; color: black; }")
                          .arg(highlight));
  options->setStyleSheet(file->styleSheet());

  FontToAllAction = new QAction(tr("Шрифт для всех"), window);
  FontToAllAction->setObjectName(QStringLiteral("FontToAllAction"));
  CommentToAllAction = new QAction(tr("Комментарий для всех"), window);
  CommentToAllAction->setObjectName(QStringLiteral("CommentToAllAction"));
  // Beside the default font in its menu.
  for (QObject* object : FontAction->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object)) menu->addActions({FontToAllAction, CommentToAllAction});

  // Enabled only in the 10x15 mode, so Escape is not taken from the editor.
  CropEscapeAction = new QAction(window);
  CropEscapeAction->setObjectName(QStringLiteral("CropEscapeAction"));
  CropEscapeAction->setShortcut(QKeySequence(Qt::Key_Escape));
  CropEscapeAction->setEnabled(false);
  window->addAction(CropEscapeAction);

  OutlineCheck = new QCheckBox(tr("Обводка"), Panel2);
  OutlineCheck->setObjectName(QStringLiteral("OutlineCheck"));
  OutlineCheck->setGeometry(8, 98, 97, 20);
}

}  // namespace tessaly
