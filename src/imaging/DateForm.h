// The forms a date taken from a photo is stamped in: the system's short date
// (the default), fixed forms such as 08.12.2026, 2026-12-08 or 8 December
// 2026, each also with the time, the film camera's '26 12 8, or a pattern of
// the user's in Qt's date format syntax. The table is tables/date_forms.def.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <span>

namespace tessaly {

struct DateForm {
  const char* name;     // "short", "dmy", "film", ...
  const char* pattern;  // Qt date format; "" for the system's short date
  bool withTime;        // followed by " HH:mm"
};

std::span<const DateForm> DateForms();
inline constexpr char kDefaultDateForm[] = "short";
inline constexpr char kFilmDateForm[] = "film";

// Whether form is a name of the table, or else a usable pattern: one that
// names at least a day, a month or a year outside quotes.
bool IsDateFormName(const QString& form);
bool IsValidDateForm(const QString& form);

// The language month names are written in: Russian on a Russian system,
// English on any other (the window's own rule for its texts).
QLocale DateLanguage(const QLocale& system = QLocale());

// The date (and, for the forms with time, its hours and minutes) in the
// form given: a table name, a pattern, or empty for the default. The
// system's short date is system's; month names are in DateLanguage(system).
QString FormatStampDate(const QDateTime& when, const QString& form, const QLocale& system = QLocale());

}  // namespace tessaly
