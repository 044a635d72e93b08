#include "FontDialogFile.h"

#include "DateForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <array>
#include <string>

#include "ExifReader.h"

namespace tessaly {
namespace {

constexpr NamedFontValue kColors[] = {
#define FONT_COLOR(ident, value, caption) {ident, value, caption},
#include "tables/font_colors.def"
#undef FONT_COLOR
};

constexpr NamedFontValue kCharsets[] = {
#define FONT_CHARSET(ident, value, caption) {ident, value, caption},
#include "tables/font_charsets.def"
#undef FONT_CHARSET
};

// Pitch and style members in the order of their enumerations.
constexpr std::array<const char*, 3> kPitches = {"fpDefault", "fpVariable", "fpFixed"};
constexpr std::array<const char*, 4> kStyles = {"fsBold", "fsItalic", "fsUnderline",
                                                 "fsStrikeOut"};

constexpr char kClassName[] = "TFontDialog";
constexpr int kMaxResourceName = 63;

// Value tags of the component stream.
enum Tag : uint8_t {
  kNull = 0,
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kString = 6,
  kIdent = 7,
  kSet = 11,
  kLString = 12,
  kWString = 18,
  kUtf8String = 20,
};

const QString kBadFormat = QStringLiteral("Неверный формат потока");
const QString kReadError = QStringLiteral("Ошибка чтения потока");
const QString kBadValue = QStringLiteral("Неверное значение свойства");

// ---------------------------------------------------------------------------
// Writing

void PutU16(QByteArray& out, uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}

void PutU32(QByteArray& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

void PutShortString(QByteArray& out, const QByteArray& text) {
  out += char(text.size());
  out += text;
}

void PutInteger(QByteArray& out, int32_t v) {
  if (v >= -128 && v <= 127) {
    out += char(kInt8);
    out += char(int8_t(v));
  } else if (v >= -32768 && v <= 32767) {
    out += char(kInt16);
    PutU16(out, uint16_t(int16_t(v)));
  } else {
    out += char(kInt32);
    PutU32(out, uint32_t(v));
  }
}

void PutIdent(QByteArray& out, const char* ident) {
  out += char(kIdent);
  PutShortString(out, ident);
}

void PutString(QByteArray& out, const QString& text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](QChar c) { return c.unicode() < 0x80; });
  const QByteArray bytes = text.toUtf8();
  if (!ascii) {
    out += char(kUtf8String);
    PutU32(out, uint32_t(bytes.size()));
    out += bytes;
  } else if (bytes.size() <= 255) {
    out += char(kString);
    PutShortString(out, bytes);
  } else {
    out += char(kLString);
    PutU32(out, uint32_t(bytes.size()));
    out += bytes;
  }
}

// An identifier when the value has one, else the number.
void PutNamedInteger(QByteArray& out, std::span<const NamedFontValue> names, uint32_t v) {
  for (const NamedFontValue& n : names)
    if (n.value == v) return PutIdent(out, n.ident);
  PutInteger(out, int32_t(v));
}

// ---------------------------------------------------------------------------
// Reading: every read checks the bytes left; a fault ends the parse with the
// text of what went wrong.

struct StreamFault {
  QString text;
};

class StreamReader {
 public:
  StreamReader(const QByteArray& bytes, qsizetype pos, qsizetype end)
      : bytes_(bytes), pos_(pos), end_(end) {}

  qsizetype Pos() const { return pos_; }

  uint8_t Byte() {
    Need(1);
    return uint8_t(bytes_[pos_++]);
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  QByteArray Bytes(int64_t n) {
    Need(n);
    QByteArray out = bytes_.mid(pos_, qsizetype(n));
    pos_ += qsizetype(n);
    return out;
  }
  QByteArray ShortString() { return Bytes(Byte()); }
  // The next byte without taking it.
  uint8_t Peek() {
    Need(1);
    return uint8_t(bytes_[pos_]);
  }

 private:
  void Need(int64_t n) const {
    if (n < 0 || n > int64_t(end_) - int64_t(pos_)) throw StreamFault{kReadError};
  }
  const QByteArray& bytes_;
  qsizetype pos_;
  qsizetype end_;
};

int32_t ReadInteger(StreamReader& in, uint8_t tag) {
  switch (tag) {
    case kInt8:
      return int8_t(in.Byte());
    case kInt16: {
      const uint16_t lo = in.Byte();
      return int16_t(lo | uint16_t(in.Byte()) << 8);
    }
    case kInt32:
      return int32_t(in.U32());
    default:
      throw StreamFault{kBadValue};
  }
}

// Integer or identifier from names, compared without regard to case.
uint32_t ReadNamedInteger(StreamReader& in, std::span<const NamedFontValue> names) {
  const uint8_t tag = in.Byte();
  if (tag != kIdent) return uint32_t(ReadInteger(in, tag));
  const QByteArray ident = in.ShortString();
  for (const NamedFontValue& n : names)
    if (ident.compare(n.ident, Qt::CaseInsensitive) == 0) return n.value;
  throw StreamFault{kBadValue};
}

template <size_t N>
int ReadEnumIndex(const QByteArray& ident, const std::array<const char*, N>& names) {
  for (size_t i = 0; i < N; ++i)
    if (ident.compare(names[i], Qt::CaseInsensitive) == 0) return int(i);
  throw StreamFault{kBadValue};
}

QString ReadString(StreamReader& in) {
  const uint8_t tag = in.Byte();
  switch (tag) {
    case kString:
    case kLString: {
      // Single-byte text in the system code page of the writer.
      const QByteArray bytes = tag == kString ? in.ShortString() : in.Bytes(in.U32());
      return QString::fromStdString(Win1251ToUtf8(std::string_view(bytes.data(), bytes.size())));
    }
    case kUtf8String:
      return QString::fromUtf8(in.Bytes(in.U32()));
    case kWString: {
      const QByteArray bytes = in.Bytes(int64_t(in.U32()) * 2);
      QString text;
      for (qsizetype i = 0; i < bytes.size(); i += 2)
        text += QChar(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
      return text;
    }
    default:
      throw StreamFault{kBadValue};
  }
}

void ReadStyle(StreamReader& in, TStampFont& font) {
  if (in.Byte() != kSet) throw StreamFault{kBadValue};
  font.bold = font.italic = font.underline = font.strikeOut = false;
  bool* members[] = {&font.bold, &font.italic, &font.underline, &font.strikeOut};
  for (QByteArray name = in.ShortString(); !name.isEmpty(); name = in.ShortString())
    *members[ReadEnumIndex(name, kStyles)] = true;
}

void ReadProperty(StreamReader& in, const QByteArray& name, TStampFont& font) {
  if (name == "Font.Charset") {
    const uint32_t charset = ReadNamedInteger(in, kCharsets);
    if (charset > 255) throw StreamFault{kBadValue};
    font.charset = int(charset);
  } else if (name == "Font.Color") {
    font.color = ReadNamedInteger(in, kColors);
  } else if (name == "Font.Height") {
    // The sign only says how the height is measured; the one value whose
    // magnitude does not fit is no height at all.
    const int32_t height = ReadInteger(in, in.Byte());
    if (height == INT32_MIN) throw StreamFault{kBadValue};
    font.height = height;
  } else if (name == "Font.Name") {
    font.name = ReadString(in);
  } else if (name == "Font.Pitch") {
    if (in.Byte() != kIdent) throw StreamFault{kBadValue};
    font.pitch = ReadEnumIndex(in.ShortString(), kPitches);
  } else if (name == "Font.Style") {
    ReadStyle(in, font);
  } else {
    throw StreamFault{QStringLiteral("Свойство %1 не существует").arg(QString::fromLatin1(name))};
  }
}

TStampFont ParseResource(const QByteArray& bytes) {
  // Resource header: type by number (0xFF, 10 = raw data), the name ended by
  // a zero byte, the memory flags and the length of the data.
  if (bytes.size() < 3 || uint8_t(bytes[0]) != 0xFF || bytes[1] != 10 || bytes[2] != 0)
    throw StreamFault{kBadFormat};
  StreamReader header(bytes, 3, bytes.size());
  while (header.Byte() != 0) {
  }
  header.Bytes(2);  // memory flags
  const uint32_t length = header.U32();
  if (length > uint64_t(bytes.size() - header.Pos())) throw StreamFault{kReadError};

  // Component stream: signature, class and object name, properties, the end
  // of the properties and the end of the (empty) list of owned objects.
  StreamReader in(bytes, header.Pos(), header.Pos() + qsizetype(length));
  if (in.Bytes(4) != "TPF0") throw StreamFault{kBadFormat};
  const QByteArray className = in.ShortString();
  if (className.compare(kClassName, Qt::CaseInsensitive) != 0)
    throw StreamFault{QStringLiteral("Класс %1 не найден").arg(QString::fromLatin1(className))};
  in.ShortString();  // object name
  TStampFont font;
  while (in.Peek() != kNull) ReadProperty(in, in.ShortString(), font);
  in.Byte();
  if (in.Byte() != kNull) throw StreamFault{kBadFormat};
  return font;
}

}  // namespace

QByteArray FontDialogResource(const TStampFont& font) {
  QByteArray stream = "TPF0";
  PutShortString(stream, kClassName);
  PutShortString(stream, "");

  PutShortString(stream, "Font.Charset");
  PutNamedInteger(stream, kCharsets, uint32_t(font.charset));
  PutShortString(stream, "Font.Color");
  PutNamedInteger(stream, kColors, font.color);
  PutShortString(stream, "Font.Height");
  PutInteger(stream, font.height);
  PutShortString(stream, "Font.Name");
  PutString(stream, font.name);
  if (font.pitch > 0 && font.pitch < int(kPitches.size())) {
    PutShortString(stream, "Font.Pitch");
    PutIdent(stream, kPitches[font.pitch]);
  }
  PutShortString(stream, "Font.Style");
  stream += char(kSet);
  const bool members[] = {font.bold, font.italic, font.underline, font.strikeOut};
  for (size_t i = 0; i < kStyles.size(); ++i)
    if (members[i]) PutShortString(stream, kStyles[i]);
  PutShortString(stream, "");
  stream += char(kNull);  // end of the properties
  stream += char(kNull);  // end of the owned objects

  QByteArray out;
  out += char(0xFF);
  PutU16(out, 10);
  out += QByteArray(kClassName).toUpper().left(kMaxResourceName);
  out += char(0);
  PutU16(out, 0x1030);
  PutU32(out, uint32_t(stream.size()));
  out += stream;
  return out;
}

QString ReadFontDialogResource(const QByteArray& bytes, TStampFont& font) {
  try {
    // The file holds no outline; the font keeps the one it has.
    const bool outline = font.outline;
    font = ParseResource(bytes);
    font.outline = outline;
    return {};
  } catch (const StreamFault& fault) {
    return fault.text;
  }
}

QString FontDialogPath(const QString& exeDir) {
  QString dir = exeDir;
  // An installed program (its data in ../share/tessaly) uses the
  // configuration folder even where it may write to its program folder, as
  // root may: that folder belongs to the package manager.
  const bool installed = QFileInfo(QDir(exeDir).filePath(QStringLiteral("../share/tessaly"))).isDir();
  if (installed || !QFileInfo(exeDir).isWritable()) {
    dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/tessaly");
  }
  return QDir(dir).filePath(QString::fromLatin1(kFontDialogFileName));
}

TStampFont StoredDefaultFont(const QString& exeDir) {
  TStampFont font;
  QFile file(FontDialogPath(exeDir));
  if (file.open(QIODevice::ReadOnly)) ReadFontDialogResource(file.readAll(), font);
  QFile options(StampOptionsPath(exeDir));
  if (options.open(QIODevice::ReadOnly)) ReadStampOptions(options.readAll(), font);
  return font;
}

namespace {

QString ReplaceFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) >= 0 && file.commit()) return {};
  return QCoreApplication::translate("tessaly::TImageForm", "Не могу создать файл \"%1\". %2")
      .arg(QDir::toNativeSeparators(path), file.errorString());
}

}  // namespace

QString WriteFontDialogFile(const QString& path, const TStampFont& font) {
  return ReplaceFile(path, FontDialogResource(font));
}

QString StampOptionsPath(const QString& exeDir) {
  return QFileInfo(FontDialogPath(exeDir)).dir().filePath(QString::fromLatin1(kStampOptionsFileName));
}

QByteArray StampOptionsText(const TStampFont& font, const PrintChoice& print) {
  QByteArray text = QByteArray("[Stamp]\nOutline=") + (font.outline ? "true" : "false") + "\n";
  const TStampFont plain;
  if (font.position != plain.position) text += QByteArray("Position=") + NameOf(font.position) + "\n";
  if (font.safeMargins) text += "SafeMargins=true\n";
  if (font.glow) text += "Glow=true\n";
  if (!font.dateForm.isEmpty()) text += "DateForm=" + font.dateForm.toUtf8() + "\n";
  if (print != PrintChoice{}) {
    text += QByteArray("[Print]\nFormat=") + FormatOf(print.format).name + "\n";
    if (print.fit) text += "Fit=true\n";
  }
  return text;
}

void ReadStampOptions(const QByteArray& text, TStampFont& font, PrintChoice& print) {
  const auto flag = [](const QByteArray& value, bool& to) {
    if (value == "true" || value == "1") to = true;
    if (value == "false" || value == "0") to = false;
  };
  for (const QByteArray& rawLine : text.split('\n')) {
    const QByteArray line = rawLine.trimmed();
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || line.startsWith('[') || line.startsWith(';')) continue;
    const QByteArray key = line.left(equals).trimmed().toLower();
    const QByteArray raw = line.mid(equals + 1).trimmed();
    const QByteArray value = raw.toLower();
    if (key == "outline") flag(value, font.outline);
    if (key == "safemargins") flag(value, font.safeMargins);
    if (key == "glow") flag(value, font.glow);
    if (key == "fit") flag(value, print.fit);
    if (key == "position")
      if (const auto position = StampPositionNamed(QString::fromUtf8(value))) font.position = *position;
    if (key == "dateform" && IsValidDateForm(QString::fromUtf8(raw))) font.dateForm = QString::fromUtf8(raw);
    if (key == "format")
      if (const auto format = FormatNamed(QString::fromUtf8(value))) print.format = *format;
  }
}

void ReadStampOptions(const QByteArray& text, TStampFont& font) {
  PrintChoice print;
  ReadStampOptions(text, font, print);
}

QString WriteStampOptionsFile(const QString& path, const TStampFont& font, const PrintChoice& print) {
  return ReplaceFile(path, StampOptionsText(font, print));
}

PrintChoice StoredPrintChoice(const QString& exeDir) {
  TStampFont font;
  PrintChoice print;
  QFile options(StampOptionsPath(exeDir));
  if (options.open(QIODevice::ReadOnly)) ReadStampOptions(options.readAll(), font, print);
  return print;
}

bool HasStoredFont(const QString& exeDir) { return QFileInfo::exists(FontDialogPath(exeDir)); }

TStampFont FirstStartFont() {
  TStampFont font;
  font.SetSize(12);
  font.SetColor(QColor(255, 255, 255));
  font.outline = true;
  font.safeMargins = true;
  return font;
}

QString CopySettingsPath(const QString& exeDir) {
  return QFileInfo(FontDialogPath(exeDir)).dir().filePath(QString::fromLatin1(kCopyOptionsFileName));
}

CopySettings StoredCopySettings(const QString& exeDir) {
  CopySettings settings;
  QFile file(CopySettingsPath(exeDir));
  if (file.open(QIODevice::ReadOnly)) ReadCopySettings(file.readAll(), settings);
  return settings;
}

QString WriteCopySettingsFile(const QString& path, const CopySettings& settings) {
  return ReplaceFile(path, CopySettingsText(settings));
}

std::span<const NamedFontValue> FontColors() { return kColors; }
std::span<const NamedFontValue> FontCharsets() { return kCharsets; }

}  // namespace tessaly
