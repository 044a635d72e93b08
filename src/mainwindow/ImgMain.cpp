#include "ImgMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <exception>
#include <optional>

#include "ExportRun.h"
#include "FontDialog.h"
#include "FontDialogFile.h"
#include "HeifFile.h"
#include "ImageView.h"
#include "ImgPanel.h"
#include "PathBytes.h"
#include "PictureList.h"
#include "PrintControls.h"
#include "ThumbnailLoader.h"
#include "ValueListEditor.h"

namespace tessaly {
namespace {

constexpr int kRedrawDelayMs = 300;
const QColor kMenuHighlight(0xE2, 0xE1, 0xDB);  // 14410210 as 0x00BBGGRR

QRect Desktop() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->virtualGeometry() : QRect();
}

// Open dialog filter: every picture the loader reads, then each format.
QString PictureFilter() {
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
  return QCoreApplication::translate("tessaly::TImageForm", "All (%1)").arg(all.join(u' ')) +
         QStringLiteral(";;") + each.join(QStringLiteral(";;"));
}

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

QFont DesignFont(const char* face) {
  QFont font(QString::fromLatin1(face));
  font.setPixelSize(11);
  return font;
}

}  // namespace

// ---------------------------------------------------------------------------
// TClipShape

TClipShape::TClipShape(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  hide();
}

void TClipShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // dest | ~pen: the black dashed pen shows white; nothing is filled.
  painter.setCompositionMode(QPainter::RasterOp_NotSourceOrDestination);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TClipShape::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(mapToParent(event->position().toPoint()));
}

void TClipShape::mousePressEvent(QMouseEvent*) { emit mousePressed(); }

// ---------------------------------------------------------------------------
// Construction

TImageForm::TImageForm(const QString& exeDir, QWidget* parent, const TStampFont& unstoredFont)
    : QMainWindow(parent), ExeDir(QDir(exeDir).absolutePath() + QLatin1Char('/')) {
  setObjectName(QStringLiteral("ImageForm"));
  setWindowTitle(QStringLiteral("Tessaly Orvanel"));
  setFont(DesignFont("MS Sans Serif"));
  resize(555, 455);

  RunOpenDialog = [this] {
    return QFileDialog::getOpenFileNames(this, QString(), QString(), PictureFilter());
  };
  // The default font's dialog also sets the outline pictures opened later get.
  RunFontDialog = [this](TStampFont& font) { return ExecuteFontDialog(this, font, &font == &DefaultFont); };
  ShowError = [this](const QString& message) {
    // Plain text: a message names files, and a name may look like markup.
    QMessageBox box(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  AskCancelExport = [this] {
    return QMessageBox::question(this, windowTitle(), tr("Идёт экспорт. Прервать его?")) ==
           QMessageBox::Yes;
  };

  CreateActions();
  CreateControls();
  CreateMenus();
  CreateStampExtras();
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
  ScrollBox1->verticalScrollBar()->disconnect(this);
  CurrentPanel = nullptr;
  delete ScrollBox1->takeWidget();
  delete exportRun_;
  delete loader_;
}

void TImageForm::CreateActions() {
  auto make = [this](const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  const QStyle* s = style();

  OpenPicture1 = make("OpenPicture1", tr("&Open Picture..."));
  OpenPicture1->setToolTip(tr("Open Picture"));
  OpenPicture1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenPicture1->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
  connect(OpenPicture1, &QAction::triggered, this, [this] {
    Guard([this] {
      const QStringList files = RunOpenDialog();
      if (!files.isEmpty()) OpenPicture1Accept(files);
    });
  });

  ExportAction = make("ExportAction", tr("Export"));
  connect(ExportAction, &QAction::triggered, this,
          [this] { Guard([this] { ExportActionExecute(); }); });

  ExportAllAction = make("ExportAllAction", tr("Ex&port All"));
  ExportAllAction->setToolTip(tr("Export All"));
  ExportAllAction->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
  connect(ExportAllAction, &QAction::triggered, this,
          [this] { Guard([this] { ExportAllActionExecute(); }); });

  CloseImageAction = make("CloseImageAction", tr("Закрыть"));
  CloseImageAction->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));
  connect(CloseImageAction, &QAction::triggered, this,
          [this] { Guard([this] { CloseImageActionExecute(); }); });

  FileExit1 = make("FileExit1", tr("E&xit"));
  FileExit1->setToolTip(tr("Exit"));
  FileExit1->setStatusTip(tr("Quits the application"));
  FileExit1->setIcon(s->standardIcon(QStyle::SP_BrowserStop));
  connect(FileExit1, &QAction::triggered, this, &QWidget::close);

  FontAction = make("FontAction", tr("Шрифт по умолчанию"));
  connect(FontAction, &QAction::triggered, this,
          [this] { Guard([this] { FontActionExecute(); }); });

  ApplyAction = make("ApplyAction", tr("Применить"));
  ApplyAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
  ApplyAction->setIcon(s->standardIcon(QStyle::SP_DialogApplyButton));
  ApplyAction->setEnabled(false);
  connect(ApplyAction, &QAction::triggered, this,
          [this] { Guard([this] { ApplyActionExecute(); }); });

  ImgFontAction = make("ImgFontAction", tr("Шрифт"));
  ImgFontAction->setIcon(FontGlyph());
  connect(ImgFontAction, &QAction::triggered, this, [this] {
    Guard([this] {
      ImgFontActionBeforeExecute();
      if (RunFontDialog(ImgFontDialogFont)) ImgFontActionAccept();
    });
  });

  CropAction = make("CropAction", tr("10x15"));
  CropAction->setIconText(tr("&10x15"));
  CropAction->setCheckable(true);  // Qt flips the tick before triggered
  CropAction->setEnabled(false);
  connect(CropAction, &QAction::triggered, this,
          [this] { Guard([this] { CropActionExecute(); }); });

  addActions({OpenPicture1, ApplyAction});  // shortcuts work without the menus
}

void TImageForm::CreateControls() {
  ScrollBox1 = new QScrollArea;
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setWidgetResizable(true);
  ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* column = new QWidget;
  column_ = new QVBoxLayout(column);
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(0);
  column_->addStretch();
  ScrollBox1->setWidget(column);

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
  connect(ValueListEditor1, &TValueListEditor::StringsChange, this,
          [this] { Guard([this] { ValueListEditor1StringsChange(); }); });
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
  const auto moved = [this](QPoint pos) { Guard([this, pos] { Image1MouseMove(pos); }); };
  connect(Image1, &TImageView::mouseMoved, this, moved);
  connect(ClipShape, &TClipShape::mouseMoved, this, moved);
  connect(ClipShape, &TClipShape::mousePressed, this,
          [this] { Guard([this] { ClipShapeMouseDown(); }); });
  // While the pointer is held the view receives every press; one on the
  // frame counts as a press on the frame.
  connect(Image1, &TImageView::mousePressed, this, [this](QPoint pos, Qt::MouseButton) {
    if (CropModeActive() && ClipShape->isVisible() && ClipShape->geometry().contains(pos))
      Guard([this] { ClipShapeMouseDown(); });
  });

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
  setCentralWidget(Splitter1);

  StatusBar1 = statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusText = new QLabel;
  StatusBar1->addWidget(StatusText, 1);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();
  CancelExportButton = new QToolButton(StatusBar1);
  CancelExportButton->setObjectName(QStringLiteral("CancelExportButton"));
  CancelExportButton->setText(tr("Отмена"));
  CancelExportButton->setToolTip(tr("Остановить экспорт (Esc)"));
  CancelExportButton->hide();
  connect(CancelExportButton, &QToolButton::clicked, this, [this] { CancelExportButtonClick(); });
  connect(ScrollBox1->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { PromoteThumbnailsInSight(); });
  StatusBar1->installEventFilter(this);  // the bar and the button follow its size

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(kRedrawDelayMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { RequestPreview(); }); });
  Panel1->installEventFilter(this);  // Panel1Resize
}

void TImageForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
  bar->setFont(DesignFont("Tahoma"));
  QMenu* file = bar->addMenu(tr("Файл"));
  file->addActions({OpenPicture1, ExportAction, ExportAllAction});
  file->addSeparator();
  file->addActions({CloseImageAction, FileExit1});
  QMenu* options = bar->addMenu(tr("Параметры"));
  options->addAction(FontAction);

  ActionToolBar1 = addToolBar(QStringLiteral("ActionToolBar1"));
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
}

void TImageForm::CreateStampExtras() {
  FontToAllAction = new QAction(tr("Шрифт для всех"), this);
  FontToAllAction->setObjectName(QStringLiteral("FontToAllAction"));
  connect(FontToAllAction, &QAction::triggered, this,
          [this] { Guard([this] { FontToAllActionExecute(); }); });
  CommentToAllAction = new QAction(tr("Комментарий для всех"), this);
  CommentToAllAction->setObjectName(QStringLiteral("CommentToAllAction"));
  connect(CommentToAllAction, &QAction::triggered, this,
          [this] { Guard([this] { CommentToAllActionExecute(); }); });
  // Beside the default font in its menu.
  for (QObject* object : FontAction->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object)) menu->addActions({FontToAllAction, CommentToAllAction});

  // Enabled only in the 10x15 mode, so Escape is not taken from the editor.
  CropEscapeAction = new QAction(this);
  CropEscapeAction->setObjectName(QStringLiteral("CropEscapeAction"));
  CropEscapeAction->setShortcut(QKeySequence(Qt::Key_Escape));
  CropEscapeAction->setEnabled(false);
  connect(CropEscapeAction, &QAction::triggered, this,
          [this] { Guard([this] { CropEscapeActionExecute(); }); });
  addAction(CropEscapeAction);

  OutlineCheck = new QCheckBox(tr("Обводка"), Panel2);
  OutlineCheck->setObjectName(QStringLiteral("OutlineCheck"));
  OutlineCheck->setGeometry(8, 98, 97, 20);
  connect(OutlineCheck, &QCheckBox::clicked, this,
          [this](bool on) { Guard([this, on] { OutlineCheckClick(on); }); });
}

void TImageForm::FormCreate() {
  DefaultFont = StoredDefaultFont(ExeDir);
  ShowLabelFont();
}

// ---------------------------------------------------------------------------
// Start and close

void TImageForm::closeEvent(QCloseEvent* event) {
  if (exportRun_) {
    // The run is stopped first; the window closes when it has ended.
    event->ignore();
    if (AskCancelExport()) {
      closeAfterExport_ = true;
      CancelExportButtonClick();
    }
    return;
  }
  // A write that fails keeps the window open; the next close tries again.
  CommitPendingEdit(false);
  QString error = WriteFontDialogFile(FontDialogPath(ExeDir), DefaultFont);
  if (error.isEmpty()) error = WriteStampOptionsFile(StampOptionsPath(ExeDir), DefaultFont, PrintControls->DefaultPrint);
  if (!error.isEmpty()) {
    ShowError(error);
    event->ignore();
    return;
  }
  SetCropMode(false);
  event->accept();
}

namespace {

// The local files and folders a drag carries.
QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr) return paths;
  // The path's own bytes, percent-decoded: toLocalFile() would replace those
  // of a name that is not UTF-8, and the file could not be opened.
  for (const QUrl& url : data->urls())
    if (url.isLocalFile())
      paths << PathFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
  return paths;
}

}  // namespace

void TImageForm::dragEnterEvent(QDragEnterEvent* event) {
  // Opening is one of the things Export All holds back while it runs.
  if (OpenPicture1->isEnabled() && !DroppedPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TImageForm::dropEvent(QDropEvent* event) {
  const QStringList files = ExpandPictureArguments(DroppedPaths(event->mimeData()));
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

// ---------------------------------------------------------------------------
// Picture list, selection and editing

QList<TImgPanel*> TImageForm::Panels() const {
  return ScrollBox1->widget()->findChildren<TImgPanel*>(Qt::FindDirectChildrenOnly);
}

void TImageForm::OpenPicture1Accept(const QStringList& files) {
  // Only the dates and sizes are read here; the pixels are decoded on the
  // workers. A file that fails keeps its panel, with the error on it.
  QList<TImgPanel*> opened;
  QStringList failures;
  // Panels added to a shown column are shown one by one, each laying out
  // the column again; with it hidden they are shown at once at the end.
  // (A column not shown yet is left alone: it shows its panels with it.)
  struct HiddenColumn {
    QWidget* column;
    bool shown = column->isVisible();
    HiddenColumn(QWidget* c) : column(c) {
      if (shown) column->hide();
    }
    ~HiddenColumn() {
      if (shown) column->show();
    }
  };
  auto hidden = std::make_optional<HiddenColumn>(ScrollBox1->widget());
  for (const QString& file : files) {
    auto* panel = new TImgPanel(ScrollBox1->widget());
    column_->insertWidget(0, panel);  // new panels go to the top
    ScrollBox1->ensureVisible(0, 0);
    try {
      panel->LoadInfo(file);
    } catch (const std::exception& e) {
      panel->ShowLoadError(QString::fromUtf8(e.what()));
      failures << panel->LoadError;
      continue;  // never current: no entry handler
    }
    connect(panel, &TImgPanel::entered, this,
            [this](TImgPanel* p) { Guard([this, p] { OnEnterImagePanel(p); }); });
    panel->SetStampFont(&DefaultFont);
    PrintControls->Adopt(panel);
    panel->PanelClick();
    // The focus reaches the panel only in an active window; selecting it
    // again once the focus arrives changes nothing.
    OnEnterImagePanel(panel);
    opened << panel;
  }
  hidden.reset();
  if (opened.contains(CurrentPanel)) CurrentPanel->PanelClick();  // the focus it could not take hidden
  LoadPictures(opened, failures);
}

ThumbnailLoader& TImageForm::Loader() {
  if (!loader_) {
    loader_ = new ThumbnailLoader(this);
    connect(loader_, &ThumbnailLoader::Idle, this, &TImageForm::PicturesLoaded);
  }
  return *loader_;
}

bool TImageForm::LoadingPictures() const { return loader_ && loader_->Pending() > 0; }

void TImageForm::LoadPictures(const QList<TImgPanel*>& panels, const QStringList& failures) {
  loadFailures_ << failures;
  if (CurrentPanel && panels.contains(CurrentPanel)) AskPreview();  // the redraw timer finds it drawn
  // The top of the column (the newest) first: what is in sight fills first.
  for (auto it = panels.crbegin(); it != panels.crend(); ++it) {
    TImgPanel* panel = *it;
    thumbnailTickets_[panel] = Loader().Request(
        panel, panel->ThumbnailJob(), panel->Thumbnail->Target(), ThumbnailLoader::kThumbnail,
        [this, panel](RenderResult result) {
          thumbnailTickets_.remove(panel);
          panel->SetThumbnail(std::move(result.image));
        },
        [this, panel](const QString& message) {
          thumbnailTickets_.remove(panel);
          panel->ShowLoadError(message);
          loadFailures_ << message;
        });
    connect(panel, &QObject::destroyed, this, [this, panel] { thumbnailTickets_.remove(panel); });
  }
  if (!LoadingPictures()) PicturesLoaded();
}

void TImageForm::PromoteThumbnailsInSight() {
  if (thumbnailTickets_.isEmpty()) return;
  const QRect sight(QPoint(0, ScrollBox1->verticalScrollBar()->value()), ScrollBox1->viewport()->size());
  for (auto it = thumbnailTickets_.cbegin(); it != thumbnailTickets_.cend(); ++it)
    if (it.key()->geometry().intersects(sight)) loader_->Promote(it.value(), ThumbnailLoader::kInSight);
}

void TImageForm::PicturesLoaded() {
  if (loadFailures_.isEmpty()) return;
  const QString message = loadFailures_.join(u'\n');
  loadFailures_.clear();
  ShowError(message);
}

void TImageForm::RequestPreview() {
  Timer1->stop();
  AskPreview();
}

void TImageForm::AskPreview() {
  if (!CurrentPanel) return;
  TImgPanel* panel = CurrentPanel;
  const RenderTarget target = Image1->Target();
  const PreviewShown wanted{panel, Image1->Picture().cacheKey(), target};
  const auto same = [&wanted](const PreviewShown& p) {
    return p.panel == wanted.panel && p.key == wanted.key && p.target.width == wanted.target.width &&
           p.target.height == wanted.target.height;
  };
  // Drawn by the workers already, and nothing drawn over it since; or asked
  // for and still on its way.
  if (wanted.key != 0 && same(previewShown_)) return;
  if (loader_ && previewTicket_ && same(previewAsked_) && loader_->IsPending(previewTicket_)) return;
  if (loader_) loader_->Withdraw(previewTicket_);
  previewAsked_ = wanted;
  previewTicket_ = Loader().Request(
      panel, PreviewJob(), target, ThumbnailLoader::kPreview,
      [this, wanted](RenderResult result) {
        // Only into the view as it was when asked: a selection, Apply or a
        // crop since then has drawn or cleared it.
        if (CurrentPanel != wanted.panel || Image1->Picture().cacheKey() != wanted.key) return;
        Image1->SetPicture(std::move(result.image));
        previewShown_ = {wanted.panel, Image1->Picture().cacheKey(), wanted.target};
      },
      [this, panel](const QString& message) {
        if (CurrentPanel == panel) ShowError(message);
      });
}

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
  CurrentPanel->Render(*Image1, true);
  PrintControls->Sync();
}

void TImageForm::ApplyEditorToPanel() {
  CurrentPanel->DateText = ValueListEditor1->Value(kDateKey);
  CurrentPanel->Comment = ValueListEditor1->Value(kCommentKey);
  CurrentPanel->SetStampFont(&LabelFont);
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

void TImageForm::Timer1Timer() {
  Timer1->stop();
  if (CurrentPanel) CurrentPanel->Render(*Image1, true);
}

void TImageForm::CloseImageActionExecute() {
  if (CurrentPanel) {
    // Let the focus go nowhere rather than to the next panel, which would
    // select it.
    CurrentPanel->clearFocus();
    delete CurrentPanel;
    CurrentPanel = nullptr;
  }
  CropAction->setEnabled(false);
  ApplyAction->setEnabled(false);
  PrintControls->Sync();
}

bool TImageForm::eventFilter(QObject* watched, QEvent* event) {
  if (exportRun_ && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !QApplication::activeModalWidget()) {
    // Escape stops the run, whichever control has the focus; taken before
    // any shortcut of it.
    event->accept();
    if (event->type() == QEvent::KeyPress) CancelExportButtonClick();
    return true;
  }
  if (watched == StatusBar1 && event->type() == QEvent::Resize && ProgressBar1->parentWidget() == StatusBar1)
    LayOutProgress();
  if (watched == Panel1 && event->type() == QEvent::Resize) Guard([this] { Panel1Resize(); });
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// 10x15 frame

void TImageForm::CropActionExecute() {
  if (CropAction->isChecked()) {
    try {
      CommitPendingEdit(true);
    } catch (...) {
      CropAction->setChecked(false);
      throw;
    }
  }
  // Right after a selection the preview waits for the timer. The frame is
  // laid on the preview, so draw it now: a frame of no size could not be
  // pressed, and the held pointer would have no way out.
  if (CropAction->isChecked() && CurrentPanel && Image1->Picture().isNull()) {
    try {
      Timer1Timer();
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
    pointerClip_ = Desktop();
    if (QWidget::mouseGrabber() == Image1) Image1->releaseMouse();
    StatusText->clear();
    ClipShape->hide();
    return;
  }
  // The frame of the picture's print format over the drawn picture.
  const QRect frame = Image1->PictureRect();
  const PrintFormatId format = CurrentPanel ? CurrentPanel->Print.format : kDefaultPrintFormat;
  const FrameGeometry geometry = FrameOf(format, frame.width(), frame.height());
  ClipShape->setGeometry(QRect(frame.topLeft(), QSize(int(geometry.width), int(geometry.height))));
  // The pointer is held inside the view: every mouse event comes to the view,
  // and a move that leaves it puts the pointer back at the edge.
  pointerClip_ = QRect(Image1->mapToGlobal(QPoint(0, 0)), Image1->size());
  Image1->grabMouse();
  StatusText->setText(tr("Для завершения нажмите правую кнопку мыши"));
  ClipShape->show();
  ClipShape->raise();
}

bool TImageForm::CropModeActive() const {
  return pointerClip_.isValid() && pointerClip_ != Desktop();
}

void TImageForm::Image1MouseMove(QPoint pos) {
  if (!CurrentPanel || !CropModeActive()) return;
  const QPoint global = Image1->mapToGlobal(pos);
  const QPoint held(std::clamp(global.x(), pointerClip_.left(), pointerClip_.right()),
                    std::clamp(global.y(), pointerClip_.top(), pointerClip_.bottom()));
  if (held != global) {
    QCursor::setPos(held);
    pos = Image1->mapFromGlobal(held);
  }
  const QRect drawn = Image1->PictureRect();
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
  const QRect drawn = Image1->PictureRect();
  const FrameGeometry geometry = FrameOf(CurrentPanel->Print.format, drawn.width(), drawn.height());
  if (geometry.horizontal)
    CurrentPanel->SetCropAt(PercentOf(ClipShape->x(), drawn.width()));
  else
    CurrentPanel->SetCropAt(PercentOf(ClipShape->y(), drawn.height()));
  SetApplyEnabled(true);
  ApplyActionExecute();
}

// ---------------------------------------------------------------------------
// Export

void TImageForm::ExportActionExecute() {
  CommitPendingEdit(true);
  if (CurrentPanel) CurrentPanel->ExportCopy();
}

void TImageForm::ExportAllActionExecute() {
  if (exportRun_) return;  // one run at a time
  CommitPendingEdit(true);
  ProgressBar1->setParent(StatusBar1);
  const QList<TImgPanel*> panels = Panels();
  ProgressBar1->setRange(0, int(panels.size()));
  ProgressBar1->setValue(0);
  ProgressBar1->setFormat(tr("%1 из %2").arg(0).arg(panels.size()));
  ProgressBar1->setTextVisible(true);
  ProgressBar1->show();
  ProgressBar1->raise();
  if (panels.isEmpty()) {
    ProgressBar1->hide();
    return;
  }
  // Each panel as it is now: the workers read copies, never the panels.
  QList<ExportRun::Item> items;
  exportFiles_.clear();
  for (TImgPanel* panel : panels) {
    items.append({panel->photo(), {}, {}});
    exportFiles_ << panel->FileName;
  }
  exportError_.clear();
  exportDone_ = 0;
  exportRun_ = new ExportRun(this);
  // A photo changed since it was opened was exported by its new facts,
  // which its panel takes.
  connect(exportRun_, &ExportRun::Refreshed, this,
          [shown = QList<QPointer<TImgPanel>>(panels.cbegin(), panels.cend())](int index, const Photo& photo) {
            if (TImgPanel* panel = shown.value(index)) panel->photo().TakeFacts(photo);
          });
  connect(exportRun_, &ExportRun::Exported, this, [this](int index) { ExportStepped(index, {}); });
  connect(exportRun_, &ExportRun::Failed, this, &TImageForm::ExportStepped);
  connect(exportRun_, &ExportRun::Finished, this, &TImageForm::ExportAllFinished);
  LockForExport(true);
  CancelExportButton->setEnabled(true);
  CancelExportButton->show();
  LayOutProgress();
  exportRun_->Start(items);
}

void TImageForm::CancelExportButtonClick() {
  if (!exportRun_) return;
  exportRun_->Stop();
  CancelExportButton->setEnabled(false);
  ProgressBar1->setFormat(tr("Остановка…"));
}

void TImageForm::ExportStepped(int index, const QString& failure) {
  const QString& file = exportFiles_[index];
  if (!failure.isEmpty() && exportError_.isEmpty()) {
    exportError_ = failure;
    // The message names the photo, unless it does already.
    if (!failure.contains(file)) exportError_ += u'\n' + tr("Фотография: %1").arg(file);
    CancelExportButton->setEnabled(false);
  }
  const int done = ++exportDone_;  // exported or failed; skipped ones are not counted
  if (!exportRun_->Stopped()) {
    // '%' is the bar's own placeholder sign.
    QString name = QFileInfo(file).fileName();
    name.replace(u'%', QStringLiteral("%%"));
    ProgressBar1->setFormat(tr("%1 из %2: %3").arg(done).arg(exportRun_->Count()).arg(name));
  } else if (exportError_.isEmpty()) {
    ProgressBar1->setFormat(tr("Остановка…"));
  }
  ProgressBar1->setValue(done);
}

void TImageForm::ExportAllFinished() {
  ExportRun* run = exportRun_;
  exportRun_ = nullptr;
  run->deleteLater();
  LockForExport(false);
  CancelExportButton->hide();
  ProgressBar1->setTextVisible(false);
  LayOutProgress();  // the whole bar again
  if (!exportError_.isEmpty()) {
    // The bar stays, showing how far the run came, until the next Export
    // All.
    ShowError(exportError_);
  } else {
    ProgressBar1->hide();
  }
  if (closeAfterExport_) {
    closeAfterExport_ = false;
    close();
  }
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
    qApp->installEventFilter(this);  // Escape
  } else {
    qApp->removeEventFilter(this);
    for (auto it = lockedActions_.cbegin(); it != lockedActions_.cend(); ++it) it.key()->setEnabled(it.value());
    lockedActions_.clear();
  }
  // The editor and the panels (selecting one would enable Apply again).
  Panel2->setEnabled(!locked);
  ScrollBox1->widget()->setEnabled(!locked);
}

void TImageForm::LayOutProgress() {
  QRect bar = StatusBar1->rect();
  if (CancelExportButton->isVisible()) {
    const int w = CancelExportButton->sizeHint().width();
    CancelExportButton->setGeometry(bar.right() - w + 1, bar.top(), w, bar.height());
    bar.setRight(bar.right() - w);
  }
  ProgressBar1->setGeometry(bar);
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

QString TImageForm::DateSourceText(DateSource source) {
  switch (source) {
    case DateSource::Original: return tr("EXIF съёмка");
    case DateSource::Digitized: return tr("EXIF оцифровка");
    case DateSource::Modified: return tr("EXIF изменение");
    case DateSource::File: break;
  }
  return tr("файл");
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
  Image1->SetPicture(tessaly::Render(PreviewJob(), Image1->Target()).image);
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
  CurrentPanel->Render(*Image1, true);
  PrintControls->Sync();
}

void TImageForm::CommentToAllActionExecute() {
  if (!CurrentPanel) return;
  CommitPendingEdit(false);
  const QString comment = CurrentPanel->Comment;
  for (TImgPanel* panel : Panels()) panel->Comment = comment;
  CurrentPanel->Render(*Image1, true);
}

void TImageForm::CropEscapeActionExecute() {
  if (!CropModeActive()) return;
  SetCropMode(false);
  // The tick was set on entering; it goes back to what the crop is.
  CropAction->setChecked(CurrentPanel && CurrentPanel->IsCropped());
}

}  // namespace tessaly
