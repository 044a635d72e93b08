#include "ImgPanel.h"

#include <QEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTextDocument>

#include "PathBytes.h"

namespace tessaly {

TImgPanel::TImgPanel(QWidget* owner) : QFrame(owner) {
  setFixedHeight(kPanelHeight);
  if (owner) resize(owner->width(), kPanelHeight);
  setFocusPolicy(Qt::StrongFocus);

  NameLabel = new QLabel(QStringLiteral("AAA"), this);  // one line fixes its height
  NameLabel->setTextFormat(Qt::PlainText);  // a file name may look like markup
  NameLabel->setAutoFillBackground(true);
  NameLabel->setFixedHeight(NameLabel->sizeHint().height());
  NameLabel->installEventFilter(this);
  Deselect();

  Thumbnail = new TImageView(this);
  Thumbnail->SetStretch(true);
  connect(Thumbnail, &TImageView::clicked, this, &TImgPanel::PanelClick);
  ThumbnailNote = new QLabel(this);
  ThumbnailNote->setTextFormat(Qt::PlainText);
  ThumbnailNote->setAlignment(Qt::AlignCenter);
  ThumbnailNote->setWordWrap(true);
  ThumbnailNote->hide();
  LayOutChildren();
}

TImgPanel::~TImgPanel() = default;

void TImgPanel::LayOutChildren() {
  const int labelHeight = NameLabel->height();
  NameLabel->setGeometry(0, height() - labelHeight, width(), labelHeight);
  Thumbnail->setGeometry(0, 0, width(), kPanelHeight - labelHeight - 3);
  ThumbnailNote->setGeometry(Thumbnail->geometry().adjusted(4, 4, -4, -4));
}

void TImgPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  LayOutChildren();
}

void TImgPanel::LoadFile(const QString& path) {
  LoadInfo(path);
  SetThumbnail(tessaly::Render(ThumbnailJob(), Thumbnail->Target()).image);
}

void TImgPanel::LoadInfo(const QString& path) {
  photo_.ReadFileDate(path);
  NameLabel->setText(DisplayName(QFileInfo(path).fileName()));
  photo_.ReadDates();
  photo_.ReadHeader();
  ThumbnailNote->setText(tr("Загрузка…"));
  ThumbnailNote->show();
}

void TImgPanel::SetThumbnail(QImage picture) {
  ThumbnailNote->hide();
  Thumbnail->SetPicture(std::move(picture));
}

void TImgPanel::ShowLoadError(const QString& message) {
  LoadError = message;
  QPalette palette = ThumbnailNote->palette();
  palette.setColor(QPalette::WindowText, QColor(192, 0, 0));
  ThumbnailNote->setPalette(palette);
  ThumbnailNote->setText(message);
  ThumbnailNote->show();
  // A tool tip that looks like markup is shown as rich text; the message
  // names the file, so such a one goes escaped.
  const QString tip = Qt::mightBeRichText(message)
                          ? QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(message.toHtmlEscaped())
                          : message;
  setToolTip(tip);
  NameLabel->setToolTip(tip);
}

bool TImgPanel::ReadExifDate() { return photo_.ReadDates(); }

void TImgPanel::Render(TImageView& target, bool withStamp) {
  RenderResult result = tessaly::Render(withStamp ? photo_.StampJob() : photo_.ThumbnailJob(), target.Target());
  photo_.TakeRender(result);
  target.SetPicture(std::move(result.image));
}

void TImgPanel::SetStampFont(const TStampFont* font) {
  if (font) photo_.font = *font;
}

void TImgPanel::Select() {
  QPalette palette = NameLabel->palette();
  palette.setColor(QPalette::Window, QColor(255, 255, 0));
  NameLabel->setPalette(palette);
}

void TImgPanel::Deselect() {
  QPalette palette = NameLabel->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  NameLabel->setPalette(palette);
}

void TImgPanel::PanelClick() { setFocus(Qt::MouseFocusReason); }

void TImgPanel::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  emit entered(this);
}

void TImgPanel::mousePressEvent(QMouseEvent* event) {
  PanelClick();
  event->accept();
}

bool TImgPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == NameLabel && event->type() == QEvent::MouseButtonPress) {
    PanelClick();
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace tessaly
