#include "PathBytes.h"

#include <cstdint>
#include <string_view>

#include "ExifReader.h"

namespace tessaly {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // escaped byte b is kEscapeBase + b (b >= 0x80)
constexpr char32_t kReplacement = 0xFFFD;

bool IsEscape(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

void AppendUtf8(QByteArray& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

QByteArray PathBytes(const QString& path) {
  QByteArray out;
  out.reserve(path.size() * 3);
  const qsizetype n = path.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t unit = path[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
      AppendUtf8(out, QChar::surrogateToUcs4(unit, path[++i].unicode()));
    } else if (IsEscape(unit)) {
      out += char(unit - kEscapeBase);
    } else if (QChar::isSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

QString PathFromBytes(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n;) {
    if (p[i] < 0x80) {
      out += QChar(char16_t(p[i++]));
      continue;
    }
    const int length = int(Utf8SequenceLength(std::string_view(bytes.constData() + i, size_t(n - i))));
    if (length == 0) {
      out += QChar(char16_t(kEscapeBase + p[i++]));
      continue;
    }
    char32_t c = p[i] & (0x7F >> length);
    for (int k = 1; k < length; ++k) c = (c << 6) | (p[i + k] & 0x3F);
    out += QString::fromUcs4(&c, 1);
    i += length;
  }
  return out;
}

QStringList ArgumentsFromBytes(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << PathFromBytes(QByteArray(argv[i]));
  return arguments;
}

QString DisplayName(const QString& path) {
  QString out = path;
  const qsizetype n = out.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t unit = out[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(out[i + 1].unicode()))
      ++i;
    else if (QChar::isSurrogate(unit))
      out[i] = QChar(char16_t(kReplacement));
  }
  return out;
}

}  // namespace tessaly
