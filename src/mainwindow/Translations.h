// The window's language. Its own texts are written in Russian; users whose
// language is not Russian get the English translation (tessaly_en.qm, a
// resource of the program), and Qt's own dialogs come in the user's language
// where Qt has it.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace tessaly {

// Installs the translators for locale into app, replacing those of an
// earlier call. Returns false when the English translation was wanted but
// not found (the window then shows its Russian texts).
bool InstallTranslations(QCoreApplication& app, const QLocale& locale);

}  // namespace tessaly
