// File names as the file system holds them: bytes, usually but not always
// UTF-8. QString paths in this program carry those bytes losslessly: valid
// UTF-8 is decoded as usual, and each byte that is not part of a valid UTF-8
// sequence becomes a lone low surrogate U+DC80..U+DCFF (the byte plus
// 0xDC00), which no valid UTF-8 decodes to. Qt's own QFile::encodeName and
// decodeName replace such bytes, so a file with such a name could not be
// opened again; every path that goes to the system goes through PathBytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessaly {

// The bytes of a path: UTF-8, with the escaped bytes put back. Any other
// lone surrogate (which no decoded name holds) is written as U+FFFD.
QByteArray PathBytes(const QString& path);

// A path from the system's bytes; PathBytes(PathFromBytes(b)) == b for any b.
QString PathFromBytes(const QByteArray& bytes);

// A command line as its bytes, each argument through PathFromBytes, for a
// command-line parser: QCoreApplication::arguments() replaces bytes that are
// not UTF-8, and a file with such a name could not be opened.
QStringList ArgumentsFromBytes(int argc, char** argv);

// The path as it is shown to a user: each escaped byte (and any other lone
// surrogate) as U+FFFD.
QString DisplayName(const QString& path);

}  // namespace tessaly
