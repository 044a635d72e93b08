// "FontDialog.res": the window's default font, kept between runs as the font
// dialog object written in the classic component stream ("TPF0") inside a
// single-entry resource file. Offers the bytes of that file, their parser,
// where the file lives and the stored default font for every program.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>

#include "CopySettings.h"
#include "PrintFormat.h"
#include "StampFont.h"

namespace tessaly {

inline constexpr char kFontDialogFileName[] = "FontDialog.res";

// The whole file for a dialog holding this font: the properties that differ
// from their defaults, integers in their smallest tag, named colours and
// character sets as identifiers, the style as a set.
QByteArray FontDialogResource(const TStampFont& font);

// Parses the file's bytes into font. Returns "" on success, else what is
// wrong ("Неверный формат потока", "Ошибка чтения потока", ...); font is
// left untouched then. The outline, which the file does not hold, is kept.
QString ReadFontDialogResource(const QByteArray& bytes, TStampFont& font);

// The file beside the executable (exeDir), or in the user's configuration
// folder when exeDir cannot be written to (an installed program).
QString FontDialogPath(const QString& exeDir);

// The stored default font, or a fresh default one when the file is missing,
// unreadable or malformed; with the options of "StampOptions.ini".
TStampFont StoredDefaultFont(const QString& exeDir);

// Replaces the file at path. Returns "" on success, else the message
// "Не могу создать файл "<path>". <reason>".
QString WriteFontDialogFile(const QString& path, const TStampFont& font);

// "StampOptions.ini": what a stamp font has beyond the GDI font (outline,
// position, safe margins, glow, date form) and the print (format, borders),
// kept beside "FontDialog.res" in a small text file of its own so that
// "FontDialog.res" keeps its exact bytes. Only the outline and the choices
// that differ from their defaults are written:
//   [Stamp]
//   Outline=true
//   Position=top-left
//   SafeMargins=true
//   Glow=true
//   DateForm=film
//   [Print]
//   Format=A4
//   Fit=true
inline constexpr char kStampOptionsFileName[] = "StampOptions.ini";

// The options file in the folder FontDialogPath chooses.
QString StampOptionsPath(const QString& exeDir);
QByteArray StampOptionsText(const TStampFont& font, const PrintChoice& print = {});
// Takes the options the text holds into font and print; unknown keys and
// values that do not parse are passed over.
void ReadStampOptions(const QByteArray& text, TStampFont& font);
void ReadStampOptions(const QByteArray& text, TStampFont& font, PrintChoice& print);
// Replaces the file at path; "" on success, else the same message as
// WriteFontDialogFile.
QString WriteStampOptionsFile(const QString& path, const TStampFont& font, const PrintChoice& print = {});
// The stored print choice, the default one when none is stored.
PrintChoice StoredPrintChoice(const QString& exeDir);

// Whether "FontDialog.res" exists: settings stored by an earlier run.
bool HasStoredFont(const QString& exeDir);
// The stamp of a first start, one that reads on any photo: 12 points (3% of
// the picture's height), white, outlined, inside the safe margins.
TStampFont FirstStartFont();

// "CopyOptions.ini" (CopySettings.h) in the folder FontDialogPath chooses.
QString CopySettingsPath(const QString& exeDir);
// The stored settings, or the defaults when the file is missing or unreadable.
CopySettings StoredCopySettings(const QString& exeDir);
// Replaces the file at path; "" on success, else the same message as
// WriteFontDialogFile.
QString WriteCopySettingsFile(const QString& path, const CopySettings& settings);

// Named values of the stream, for the font dialog's lists.
struct NamedFontValue {
  const char* ident;
  uint32_t value;
  const char* caption;  // "" for values the dialog does not list
};
std::span<const NamedFontValue> FontColors();
std::span<const NamedFontValue> FontCharsets();

}  // namespace tessaly
