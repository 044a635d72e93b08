#include "Photo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <sys/stat.h>

#include "DateForm.h"
#include "Export.h"
#include "FullReader.h"
#include "HeifCodec.h"
#include "PathBytes.h"
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
  if (::stat(PathBytes(path).constData(), &info) != 0) throw OpenError(path, ErrnoText(errno));
  QDateTime time = QDateTime::fromSecsSinceEpoch(int64_t(info.st_mtime));
  return time.addSecs(-(time.time().second() % 2));
}

// The date part of a reader's date; null for 0 ("no date").
QDate DateOf(TDateTime value) {
  if (value == 0) return QDate();
  int year, month, day, hour, minute, second;
  DecodeDateTime(value, year, month, day, hour, minute, second);
  return QDate(year, month, day);
}

// A reader's date as a moment; null for 0 ("no date").
QDateTime MomentOf(TDateTime value) {
  if (value == 0) return QDateTime();
  int year, month, day, hour, minute, second;
  DecodeDateTime(value, year, month, day, hour, minute, second);
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// The file's EXIF data through the metadata reader; false when it has none.
// A HEIF file's EXIF item is taken out and read as a JPEG's EXIF segment.
bool ReadExif(const QString& path, Photo::Kind kind, TimgData& data) {
  const std::string name = PathBytes(path).toStdString();
  bool read = false;
  if (kind == Photo::Kind::Heif) {
    const std::optional<std::string> exif = ReadHeifExif(path);
    read = exif && data.ReadExifBlock(*exif, name);
  } else {
    read = data.ReadPicture(name);
  }
  return read && data.HasExifSegment() && data.exif;
}

// The orientation the render applies: a JPEG container's EXIF Orientation.
// A HEIF file's is not the picture's (HEIF pictures are upright as decoded),
// and other decoders give pictures as they are to be seen.
Orientation OrientationOf(Photo::Kind kind, const TImageInfo& exif) {
  return kind == Photo::Kind::Jpeg ? Orientation::FromExif(exif.orientation) : Orientation();
}

}  // namespace

QString FormedDate(const DateChoice& choice, const QString& form) {
  if (form.isEmpty() || form == QLatin1String(kDefaultDateForm) || !choice.when.isValid()) return choice.text;
  return FormatStampDate(choice.when, form);
}

QString PhotoChangedText(const QString& path) {
  return QCoreApplication::translate("tessaly::Photo", kPhotoChangedSource).arg(path);
}

Photo::Kind Photo::KindOf(const QString& path) {
  // The picture's kind (its name checked against its first bytes); a JPEG
  // is read as a JPEG container when the metadata reader takes its name.
  switch (tessaly::KindOf(path)) {
    case PictureKind::Heif: return Kind::Heif;
    case PictureKind::Jpeg: return IsJpegContainerName(path) ? Kind::Jpeg : Kind::Other;
    default: return Kind::Other;
  }
}

void Photo::Load(const QString& file) {
  ReadFileDate(file);
  ReadDates();
  ReadHeader();
}

Photo Photo::Loaded(const QString& file) {
  Photo photo;
  photo.Load(file);
  return photo;
}

void Photo::ReadFileDate(const QString& file) {
  crop.Left = -1;
  cropSet_ = false;
  cropAt_.reset();
  factsRead_ = false;
  const QDateTime modified = FileDate(file);
  const QLocale locale;
  dateText = locale.toString(modified.date(), QLocale::ShortFormat);
  if (modified.time() != QTime(0, 0))
    dateText += u' ' + locale.toString(modified.time(), LongTimeFormatWithoutZone(locale));
  dateChoices = {DateChoice{dateText, DateSource::File, modified}};
  dateFrom = DateSource::File;
  path = file;
  kind = KindOf(file);
}

bool Photo::ReadDates() {
  dateChoices.removeIf([](const DateChoice& c) { return c.source != DateSource::File; });
  orientation = Orientation();
  TimgData data(255, FullReader());
  if (!ReadExif(path, kind, data)) return false;
  const TImageInfo& exif = *data.exif;
  orientation = OrientationOf(kind, exif);
  const QLocale locale;
  qsizetype at = 0;
  for (const auto& [value, source] : {std::pair{exif.OriginalDate(), DateSource::Original},
                                      std::pair{exif.DigitizedDate(), DateSource::Digitized},
                                      std::pair{exif.ModifiedDate(), DateSource::Modified}})
    if (const QDate date = DateOf(value); date.isValid())
      dateChoices.insert(at++, DateChoice{locale.toString(date, QLocale::ShortFormat), source, MomentOf(value)});

  // Zero is "no date tag could be read"; the file's date is kept then rather
  // than stamping the first day of the date scale.
  const TDateTime shot = exif.TakenDateTime();
  if (shot == 0) return false;
  const QDate date = DateOf(shot);
  if (!date.isValid()) return false;
  dateText = locale.toString(date, QLocale::ShortFormat);
  // The tag the date came from: the first, in the order the accessor tries
  // them, that gives this value.
  for (const auto& [value, source] : {std::pair{exif.OriginalDate(), DateSource::Original},
                                      std::pair{exif.DigitizedDate(), DateSource::Digitized},
                                      std::pair{exif.ModifiedDate(), DateSource::Modified}}) {
    if (value == shot) {
      dateFrom = source;
      break;
    }
  }
  return true;
}

void Photo::ReadHeader() {
  const RenderResult header = Probe(Job(false));
  width = header.pictureWidth;
  height = header.pictureHeight;
  ResetCrop();
  factsRead_ = true;
}

const DateChoice* Photo::FindDateChoice(DateSource source) const {
  for (const DateChoice& choice : dateChoices)
    if (choice.source == source) return &choice;
  return nullptr;
}

const TStampFont& Photo::StampFont() {
  if (!font) font.emplace();
  return *font;
}

bool Photo::IsCropped() const { return crop.Width() != width || crop.Height() != height; }

void Photo::ResetCrop() {
  crop = TRect{0, 0, width, height};
  cropSet_ = true;
  cropAt_.reset();
}

void Photo::SetCrop(CropSide side, double p) {
  if (side == CropSide::Top) {
    const Cut cut = PrintCut(kPrintRatio, p, height, width);
    crop.Top = cut.start;
    crop.Bottom = cut.End();
  } else {
    const Cut cut = PrintCut(kPrintRatio, p, width, height);
    crop.Left = cut.start;
    crop.Right = cut.End();
  }
  cropSet_ = true;
  cropAt_ = CropPosition{side, p};
}

void Photo::SetFrameAt(double p) {
  crop = FrameAt(print.format, width, height, p);
  cropSet_ = true;
  cropAt_ = CropPosition{CropSideOf(width, height), p, true, false};
}

void Photo::SetCentredFrame() {
  crop = CentredFrame(print.format, width, height);
  cropSet_ = true;
  cropAt_ = CropPosition{CropSideOf(width, height), 50, true, true};
}

RenderJob Photo::Job(bool withStamp) const {
  RenderJob job;
  job.fileName = path;
  job.orientation = orientation;
  if (cropSet_) job.crop = crop;
  if (withStamp && print.fit && width > 0 && height > 0) {
    // Padded rather than cut: the crop is the picture with its borders.
    job.crop = FitRect(print.format, width, height);
    job.stampOnPicture = true;
  }
  job.withStamp = withStamp;
  job.font = font.value_or(TStampFont{});
  job.dateText = dateText;
  job.comment = comment;
  return job;
}

void Photo::TakeRender(const RenderResult& result) {
  width = result.pictureWidth;
  height = result.pictureHeight;
  // A fit's borders are not the crop the frame chose.
  if (!print.fit || !cropSet_) crop = print.fit ? TRect{0, 0, width, height} : result.crop;
  cropSet_ = true;
}

void Photo::TakeFacts(const Photo& refreshed) {
  width = refreshed.width;
  height = refreshed.height;
  orientation = refreshed.orientation;
  crop = refreshed.crop;
  cropSet_ = refreshed.cropSet_;
  cropAt_ = refreshed.cropAt_;
}

bool Photo::Refresh() {
  if (!factsRead_) return false;
  Photo now;
  now.path = path;
  now.kind = kind;
  try {
    TimgData data(255, FullReader());
    if (ReadExif(path, kind, data)) now.orientation = OrientationOf(kind, *data.exif);
    now.ReadHeader();
  } catch (const PictureError&) {
    // A file that is gone or unreadable says so itself, as any export of it
    // would; one that opens but is no longer a picture is a changed photo.
    struct stat info;
    if (::stat(PathBytes(path).constData(), &info) != 0) throw;
    throw PictureError(PhotoChangedText(path));
  }
  if (now.width == width && now.height == height && now.orientation == orientation) return false;
  const std::optional<CropPosition> at = cropAt_;
  width = now.width;
  height = now.height;
  orientation = now.orientation;
  ResetCrop();
  // The cut keeps its place along the short side; a picture that turned
  // from landscape to portrait is cut along its new short side.
  if (at && at->centred)
    SetCentredFrame();
  else if (at && at->byFormat)
    SetFrameAt(at->percent);
  else if (at)
    SetPrintCrop(at->percent);
  return true;
}

QString Photo::ExportCopy(bool refresh, bool* changed, const std::optional<CopySettings>& copy, QString* warning) {
  const bool refreshed = refresh && Refresh();
  if (changed) *changed = refreshed;
  RenderJob job = StampJob();
  if (factsRead_) job.uprightSize = QSize(width, height);
  try {
    return ExportStampedCopy(std::move(job), copy, warning);
  } catch (const PictureChanged&) {
    // Replaced again between the header and the decoding.
    throw PictureError(PhotoChangedText(path));
  }
}

}  // namespace tessaly
