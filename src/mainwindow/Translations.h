// The window's language. Its own texts are written in Russian; users whose
// language is not Russian get the English translation (tessaly_en.qm), and
// Qt's own dialogs come in the user's language where Qt has it.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace tessaly {

// Where the compiled translations are looked for, relative to the program's
// folder: the installed data folder (bin/../share/tessaly/translations), then
// the build tree's (bin/../translations).
QStringList TranslationFolders(const QString& exeDir);

// Installs the translators for locale into app, replacing those of an
// earlier call. Returns false when the English translation was wanted but
// not found (the window then shows its Russian texts).
bool InstallTranslations(QCoreApplication& app, const QLocale& locale);

}  // namespace tessaly
