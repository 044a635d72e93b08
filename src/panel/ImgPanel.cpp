#include "ImgPanel.h"

#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QTextDocument>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

#include "DateForm.h"
#include "Export.h"
#include "FullReader.h"
#include "PathBytes.h"
#include "HeifCodec.h"
#include "Orientation.h"
#include "PictureList.h"

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
  if (::stat(PathBytes(path).constData(), &info) != 0)
    throw OpenError(path, ErrnoText(errno));
  QDateTime time = QDateTime::fromSecsSinceEpoch(int64_t(info.st_mtime));
  return time.addSecs(-(time.time().second() % 2));
}

// A reader's date as a moment; null for 0 ("no date").
QDateTime MomentOf(TDateTime value) {
  if (value == 0) return QDateTime();
  int year, month, day, hour, minute, second;
  DecodeDateTime(value, year, month, day, hour, minute, second);
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// The date part of a reader's date; null for 0 ("no date").
QDate DateOf(TDateTime value) {
  if (value == 0) return QDate();
  int year, month, day, hour, minute, second;
  DecodeDateTime(value, year, month, day, hour, minute, second);
  return QDate(year, month, day);
}

}  // namespace

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
  CropRect.Left = -1;
  cropSet_ = false;
  const QDateTime modified = FileDate(path);
  const QLocale locale;
  DateText = locale.toString(modified.date(), QLocale::ShortFormat);
  if (modified.time() != QTime(0, 0))
    DateText += u' ' + locale.toString(modified.time(), LongTimeFormatWithoutZone(locale));
  DateChoices = {DateChoice{DateText, DateSource::File, modified}};
  DateFrom = DateSource::File;
  NameLabel->setText(DisplayName(QFileInfo(path).fileName()));
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
  // A tool tip that looks like markup is shown as rich text; the message
  // names the file, so such a one goes escaped.
  const QString tip = Qt::mightBeRichText(message)
                          ? QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(message.toHtmlEscaped())
                          : message;
  setToolTip(tip);
  NameLabel->setToolTip(tip);
}

bool TImgPanel::ReadExifDate() {
  DateChoices.removeIf([](const DateChoice& c) { return c.source != DateSource::File; });
  Orientation = 1;
  TimgData data(255, FullReader());
  const std::string name = PathBytes(FileName).toStdString();
  // A HEIF file's EXIF item is taken out here and read as a JPEG's EXIF
  // segment. Its Orientation is not the picture's: HEIF pictures are upright
  // as decoded.
  bool read = false;
  if (IsHeifName(FileName)) {
    const std::optional<std::string> exif = ReadHeifExif(FileName);
    read = exif && data.ReadExifBlock(*exif, name);
  } else {
    read = data.ReadPicture(name);
  }
  if (!read || !data.HasExifSegment() || !data.exif) return false;
  const TImageInfo& exif = *data.exif;
  // The reader's JPEG containers are decoded by the render itself and turned
  // by their EXIF Orientation; other decoders give pictures as they are to
  // be seen.
  if (IsJpegContainerName(FileName)) Orientation = ValidOrientation(exif.orientation);
  const QLocale locale;
  qsizetype at = 0;
  for (const auto& [value, source] : {std::pair{exif.OriginalDate(), DateSource::Original},
                                      std::pair{exif.DigitizedDate(), DateSource::Digitized},
                                      std::pair{exif.ModifiedDate(), DateSource::Modified}})
    if (const QDate date = DateOf(value); date.isValid())
      DateChoices.insert(at++, DateChoice{locale.toString(date, QLocale::ShortFormat), source, MomentOf(value)});

  // Zero is "no date tag could be read"; the file's date is kept then rather
  // than stamping the first day of the date scale.
  const TDateTime shot = exif.ShotDateTime();
  if (shot == 0) return false;
  const QDate date = DateOf(shot);
  if (!date.isValid()) return false;
  DateText = locale.toString(date, QLocale::ShortFormat);
  // The tag the shooting date came from: the first, in the order the
  // accessor tries them, that gives this value.
  for (const auto& [value, source] : {std::pair{exif.DigitizedDate(), DateSource::Digitized},
                                      std::pair{exif.OriginalDate(), DateSource::Original},
                                      std::pair{exif.ModifiedDate(), DateSource::Modified}}) {
    if (value == shot) {
      DateFrom = source;
      break;
    }
  }
  return true;
}

QString FormedDate(const DateChoice& choice, const QString& form) {
  if (form.isEmpty() || form == QLatin1String(kDefaultDateForm) || !choice.when.isValid()) return choice.text;
  return FormatStampDate(choice.when, form);
}

const DateChoice* TImgPanel::FindDateChoice(DateSource source) const {
  for (const DateChoice& choice : DateChoices)
    if (choice.source == source) return &choice;
  return nullptr;
}

RenderJob TImgPanel::Job(bool withStamp) const {
  RenderJob job;
  job.fileName = FileName;
  job.orientation = Orientation;
  if (cropSet_) job.crop = CropRect;
  if (withStamp && Print.fit && PictureWidth > 0 && PictureHeight > 0) {
    // Padded rather than cut: the crop is the picture with its borders.
    job.crop = FitRect(Print.format, PictureWidth, PictureHeight);
    job.stampOnPicture = true;
  }
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
  // A fit's borders are not the crop the frame chose.
  if (!(withStamp && Print.fit) || !cropSet_) CropRect = result.crop;
  if (withStamp && Print.fit && !cropSet_) CropRect = TRect{0, 0, PictureWidth, PictureHeight};
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

void TImgPanel::SetCropAt(double p) {
  CropRect = FrameAt(Print.format, PictureWidth, PictureHeight, p);
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
