// The pictures a list of paths stands for, as the window's Open dialog, a drop
// on the window and the command lines take them: a file is itself; a folder
// is the pictures directly inside it, in name order (sub-folders, its
// "Export" folder among them, are not entered).
#pragma once

#include <QString>
#include <QStringList>

#include "PictureKind.h"

namespace tessaly {

// True for a file name with one of kJpegContainerExtensions (PictureKind.h),
// in any letter case: the JPEG files the metadata reader opens
// (TimgData::ReadPicture).
bool IsJpegContainerName(const QString& fileName);

// The kind of picture a name stands for: JPEG, HEIF, a format of Qt's image
// readers, or none; case-blind.
PictureKind KindOfName(const QString& name);

// The kind of the file at path: by its name, checked against its first bytes
// (KindOf in PictureKind.h with Qt's formats).
PictureKind KindOf(const QString& path);

// Whether a file name has the extension of a picture the program opens.
bool IsPictureName(const QString& name);

// The Open dialog's filter: every picture the program opens, under allLabel
// (translated; %1 for the patterns), then each kind.
QString PictureFilter(const QString& allLabel);

// Each folder replaced by its pictures, each other path kept as given (so a
// file that is missing or not a picture is reported when it is opened).
QStringList ExpandPictureArguments(const QStringList& paths);

}  // namespace tessaly
