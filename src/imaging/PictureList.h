// The pictures a list of paths stands for, as the window's Open dialog, a drop
// on the window and the command lines take them: a file is itself; a folder
// is the pictures directly inside it, in name order (sub-folders, its
// "Export" folder among them, are not entered).
#pragma once

#include <QString>
#include <QStringList>

namespace tessaly {

// The extensions of the files the metadata reader takes as JPEG containers
// (TimgData::ReadPicture), lower case, without the dot: the JPEG files the
// program opens and turns by their EXIF Orientation. HEIF's are
// kHeifExtensions (HeifFile.h).
inline constexpr const char* kJpegExtensions[] = {"jpg", "jpeg", "jpe"};

// True for a file name with one of kJpegExtensions, in any letter case.
bool IsJpegContainerName(const QString& fileName);

// Whether a file name has the extension of a picture the program opens:
// JPEG, the formats of Qt's image readers, HEIF; case-blind.
bool IsPictureName(const QString& name);

// Each folder replaced by its pictures, each other path kept as given (so a
// file that is missing or not a picture is reported when it is opened).
QStringList ExpandPictureArguments(const QStringList& paths);

}  // namespace tessaly
