// What the window says at the end of Export All: how the run ended, how many
// copies were written, and each photo left out with its reason, in the
// window's language.
#pragma once

#include <QString>

#include "ExportAllController.h"

class QWidget;

namespace tessaly {

// The box's text.
QString ExportSummaryText(const ExportAllController::Outcome& outcome);

// Why file's copy failed, from the export's message, in the window's
// language: the file's own path left out, the system's or the decoder's
// reason kept as it came.
QString ExportFailureReason(const QString& file, const QString& message);

// The box itself, not waiting for an answer: with a button that calls
// openFolder when folder is not empty.
void ShowExportSummaryBox(QWidget* parent, const QString& text, const QString& folder,
                          const std::function<void(const QString&)>& openFolder);

}  // namespace tessaly
