// The choices of what stamped copies carry, in the window's Параметры menu:
// "Преобразовать в sRGB", "Сохранять координаты", "Без метаданных" as ticks
// and "Качество JPEG" as a submenu of qualities, the current one ticked.
#pragma once

#include <QObject>

#include "CopySettings.h"

class QAction;
class QActionGroup;
class QMenu;

namespace tessaly {

class CopyOptionsMenu : public QObject {
  Q_OBJECT

 public:
  // Adds a separator and the actions to menu.
  CopyOptionsMenu(QMenu* menu, QObject* parent);

  const CopySettings& Settings() const { return settings_; }
  void SetSettings(const CopySettings& settings);  // the ticks follow

  QAction* SrgbAction;
  QAction* KeepLocationAction;
  QAction* NoMetadataAction;
  QMenu* QualityMenu;

 private:
  CopySettings settings_;
  QActionGroup* qualities_;
  QAction* otherQuality_;  // a stored quality the list lacks
  void ShowSettings();
};

}  // namespace tessaly
