#include "ImgPanel.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMouseEvent>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "Export.h"
#include "FullReader.h"

namespace tessaly {

namespace {

// The locale's long time format without its time-zone field: a stamp says
// when the photo was taken, not "UTC".
QString LongTimeFormatWithoutZone(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString result;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    result += c;
  }
  return result.simplified();
}

// The file's modification time at two-second resolution (odd seconds taken
// one second down), as the FAT file times the design was made for.
QDateTime FileDate(const QString& path) {
  struct stat info;
  if (::stat(QFile::encodeName(path).constData(), &info) != 0)
    throw PictureError(QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  QDateTime time = QDateTime::fromSecsSinceEpoch(int64_t(info.st_mtime));
  return time.addSecs(-(time.time().second() % 2));
}

}  // namespace

TImgPanel::TImgPanel(QWidget* owner) : QFrame(owner) {
  setFixedHeight(kPanelHeight);
  if (owner) resize(owner->width(), kPanelHeight);
  setFocusPolicy(Qt::StrongFocus);

  NameLabel = new QLabel(QStringLiteral("AAA"), this);  // one line fixes its height
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
  CropRect.Left = -1;
  cropSet_ = false;
  const QDateTime modified = FileDate(path);
  const QLocale locale;
  DateText = locale.toString(modified.date(), QLocale::ShortFormat);
  if (modified.time() != QTime(0, 0))
    DateText += u' ' + locale.toString(modified.time(), LongTimeFormatWithoutZone(locale));
  NameLabel->setText(QFileInfo(path).fileName());
  FileName = path;
  ReadExifDate();
  const RenderResult header = Probe(Job(false));
  PictureWidth = header.pictureWidth;
  PictureHeight = header.pictureHeight;
  ResetCrop();
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
  setToolTip(message);
  NameLabel->setToolTip(message);
}

bool TImgPanel::ReadExifDate() {
  TimgData data(255, FullReader());
  if (!data.ReadPicture(QFile::encodeName(FileName).toStdString()) || !data.HasExifSegment() || !data.exif)
    return false;
  // Zero is "no date tag could be read"; the file's date is kept then rather
  // than stamping the first day of the date scale.
  const TDateTime shot = data.exif->ShotDateTime();
  if (shot == 0) return false;
  int year, month, day, hour, minute, second;
  DecodeDateTime(shot, year, month, day, hour, minute, second);
  const QDate date(year, month, day);
  if (!date.isValid()) return false;
  DateText = QLocale().toString(date, QLocale::ShortFormat);
  return true;
}

RenderJob TImgPanel::Job(bool withStamp) const {
  RenderJob job;
  job.fileName = FileName;
  if (cropSet_) job.crop = CropRect;
  job.withStamp = withStamp;
  job.font = StampFont.value_or(TStampFont{});
  job.dateText = DateText;
  job.comment = Comment;
  return job;
}

void TImgPanel::Render(TImageView& target, bool withStamp) {
  RenderResult result = tessaly::Render(Job(withStamp), target.Target());
  PictureWidth = result.pictureWidth;
  PictureHeight = result.pictureHeight;
  CropRect = result.crop;
  cropSet_ = true;
  target.SetPicture(std::move(result.image));
}

const TStampFont& TImgPanel::GetStampFont() {
  if (!StampFont) StampFont.emplace();
  return *StampFont;
}

void TImgPanel::SetStampFont(const TStampFont* font) {
  if (font) StampFont = *font;
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

bool TImgPanel::IsCropped() const {
  return CropRect.Width() != PictureWidth || CropRect.Height() != PictureHeight;
}

void TImgPanel::ResetCrop() {
  CropRect = TRect{0, 0, PictureWidth, PictureHeight};
  cropSet_ = true;
}

namespace {

// Start and length of a 10x15 cut along a side of `side` pixels, the other
// side being `other`: the cut is other / 1.5 long and starts p percent along
// the side, but no later than where it would end at the side's far edge.
// There is no lower bound: a cut longer than the side starts before it.
std::pair<int32_t, int32_t> TenByFifteen(double p, int32_t side, int32_t other) {
  const int64_t length = RoundHalfEven(other / 1.5);
  const int64_t start = std::min(RoundHalfEven(p * (side / 100.0)), int64_t(side) - length);
  return {int32_t(std::max<int64_t>(start, INT32_MIN)), int32_t(length)};
}

}  // namespace

void TImgPanel::SetCropLeft(double p) {
  const auto [start, length] = TenByFifteen(p, PictureWidth, PictureHeight);
  CropRect.Left = start;
  CropRect.Right = int32_t(std::min<int64_t>(int64_t(start) + length, INT32_MAX));
  cropSet_ = true;
}

void TImgPanel::SetCropTop(double p) {
  const auto [start, length] = TenByFifteen(p, PictureHeight, PictureWidth);
  CropRect.Top = start;
  CropRect.Bottom = int32_t(std::min<int64_t>(int64_t(start) + length, INT32_MAX));
  cropSet_ = true;
}

QString TImgPanel::ExportCopy() { return ExportStampedCopy(Job(true)); }

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
