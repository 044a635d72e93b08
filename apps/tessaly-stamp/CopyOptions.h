// The options of tessaly-stamp that say what the copies carry of their
// photos and how they are encoded; their defaults are the window's stored
// choices ("CopyOptions.ini").
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <optional>

#include "CopySettings.h"

namespace tessaly {

void AddCopyOptions(QCommandLineParser& parser);

// Applies the options given to settings; a message when they are not usable.
std::optional<QString> TakeCopyOptions(const QCommandLineParser& parser, CopySettings& settings);

}  // namespace tessaly
