#include "ExportSummary.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "Export.h"

namespace tessaly {

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("tessaly::TImageForm", text); }

// The rest of message after prefix and path followed by ": "; empty when it
// is not so.
QString After(const QString& message, const QString& prefix, const QString& path) {
  const QString head = prefix + path + QStringLiteral(": ");
  return message.startsWith(head) ? message.mid(head.size()) : QString();
}

QString DecoderReason(QString reason) {
  static const QString damaged = QStringLiteral("Picture data is damaged: ");
  if (reason.startsWith(damaged)) return Tr("данные снимка повреждены (%1)").arg(reason.mid(damaged.size()));
  return reason;
}

}  // namespace

QString ExportFailureReason(const QString& file, const QString& message) {
  const QString folder = ExportFolder(file);
  static const QString create = QStringLiteral("Cannot create ");
  if (message.startsWith(create + folder + u'\n'))
    return Tr("не удалось создать папку %1: %2")
        .arg(QDir::toNativeSeparators(folder), message.mid(create.size() + folder.size() + 1));
  if (const QString reason = After(message, QStringLiteral("Cannot open "), file); !reason.isEmpty())
    return Tr("не удалось открыть: %1").arg(reason);
  if (const QString reason = After(message, QStringLiteral("Cannot read "), file); !reason.isEmpty())
    return Tr("не удалось прочитать: %1").arg(DecoderReason(reason));
  if (message.startsWith(QStringLiteral("Cannot write ") + folder)) {
    // The copy's name, then the reason.
    const qsizetype colon = message.indexOf(QStringLiteral(": "), 13 + folder.size());
    if (colon > 0)
      return Tr("не удалось записать %1: %2")
          .arg(QDir::toNativeSeparators(message.mid(13, colon - 13)), DecoderReason(message.mid(colon + 2)));
  }
  static const QRegularExpression tooLarge(QStringLiteral("^Cannot make a picture of (\\d+) x (\\d+) pixels$"));
  if (const auto match = tooLarge.match(message); match.hasMatch())
    return Tr("снимок слишком велик: %1 x %2 точек").arg(match.captured(1), match.captured(2));
  return message;
}

QString ExportSummaryText(const ExportAllController::Outcome& outcome) {
  QStringList lines;
  if (outcome.halt)
    lines << Tr("Экспорт остановлен: %1").arg(ExportFailureReason(outcome.halt->file, outcome.halt->message))
          << Tr("Фотография: %1").arg(QDir::toNativeSeparators(outcome.halt->file));
  else if (outcome.cancelled)
    lines << Tr("Экспорт прерван.");
  else
    lines << Tr("Экспорт завершён.");
  lines << Tr("Записано копий: %1 из %2.").arg(outcome.written).arg(outcome.total);
  if (!outcome.failures.isEmpty()) {
    lines << QString() << Tr("Пропущены фотографии (%1):").arg(outcome.failures.size());
    for (const ExportAllController::Failure& failure : outcome.failures)
      lines << Tr("%1 — %2").arg(QDir::toNativeSeparators(failure.file), ExportFailureReason(failure.file, failure.message));
  }
  return lines.join(u'\n');
}

void ShowExportSummaryBox(QWidget* parent, const QString& text, const QString& folder,
                          const std::function<void(const QString&)>& openFolder) {
  auto* box = new QMessageBox(QMessageBox::Information, parent->windowTitle(), text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // Plain text: file names may look like markup.
  box->setTextFormat(Qt::PlainText);
  if (!folder.isEmpty()) {
    QPushButton* open = box->addButton(Tr("Открыть папку Export"), QMessageBox::ActionRole);
    open->setObjectName(QStringLiteral("OpenExportFolderButton"));
    QObject::connect(open, &QPushButton::clicked, box, [openFolder, folder] { openFolder(folder); });
  }
  box->setObjectName(QStringLiteral("ExportSummaryBox"));
  box->open();
}

}  // namespace tessaly
