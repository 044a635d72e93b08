#include "DateForm.h"

namespace tessaly {

namespace {

constexpr DateForm kForms[] = {
#define DATE_FORM(name, pattern, withTime) {name, pattern, withTime},
#include "tables/date_forms.def"
#undef DATE_FORM
};

const DateForm* Find(const QString& name) {
  for (const DateForm& f : kForms)
    if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return &f;
  return nullptr;
}

}  // namespace

std::span<const DateForm> DateForms() { return kForms; }

bool IsDateFormName(const QString& form) { return Find(form) != nullptr; }

bool IsValidDateForm(const QString& form) {
  if (form.isEmpty() || IsDateFormName(form)) return true;
  bool quoted = false;
  for (const QChar c : form) {
    if (c == u'\'') quoted = !quoted;
    else if (!quoted && (c == u'd' || c == u'M' || c == u'y')) return true;
  }
  return false;
}

QLocale DateLanguage(const QLocale& system) {
  if (system.language() == QLocale::Russian) return QLocale(QLocale::Russian, QLocale::Russia);
  return QLocale(QLocale::English, QLocale::UnitedStates);
}

QString FormatStampDate(const QDateTime& when, const QString& form, const QLocale& system) {
  const DateForm* table = Find(form.isEmpty() ? QString::fromLatin1(kDefaultDateForm) : form);
  // A pattern of the user's may hold hours and minutes of its own.
  if (!table) return DateLanguage(system).toString(when, form);
  const QString pattern = QString::fromLatin1(table->pattern);
  QString text = pattern.isEmpty() ? system.toString(when.date(), QLocale::ShortFormat)
                                   : DateLanguage(system).toString(when.date(), pattern);
  if (table->withTime) text += u' ' + when.time().toString(QStringLiteral("HH:mm"));
  return text;
}

}  // namespace tessaly
