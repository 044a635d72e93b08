#include "CopyOptionsMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace tessaly {

namespace {

constexpr int kQualities[] = {100, 95, 90, 85, 80, 75, 70, 60, 50};

}  // namespace

CopyOptionsMenu::CopyOptionsMenu(QMenu* menu, QObject* parent) : QObject(parent) {
  menu->addSeparator();
  const auto tick = [&](const QString& text, const char* name, bool CopySettings::*field) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    connect(action, &QAction::toggled, this, [this, field](bool on) {
      settings_.*field = on;
      ShowSettings();
    });
    return action;
  };
  SrgbAction = tick(tr("Преобразовать в sRGB"), "SrgbAction", &CopySettings::convertToSrgb);
  KeepLocationAction = tick(tr("Сохранять координаты"), "KeepLocationAction", &CopySettings::keepLocation);
  NoMetadataAction = tick(tr("Без метаданных"), "NoMetadataAction", &CopySettings::noMetadata);

  QualityMenu = menu->addMenu(tr("Качество JPEG"));
  QualityMenu->setObjectName(QStringLiteral("QualityMenu"));
  QualityMenu->setStyleSheet(menu->styleSheet());
  qualities_ = new QActionGroup(this);
  qualities_->setExclusive(true);
  const auto quality = [&](int value) {
    QAction* action = QualityMenu->addAction(QString::number(value));
    action->setCheckable(true);
    action->setData(value);
    qualities_->addAction(action);
    connect(action, &QAction::triggered, this, [this, value] { settings_.quality = value; });
    return action;
  };
  for (const int value : kQualities) quality(value);
  otherQuality_ = quality(0);
  ShowSettings();
}

void CopyOptionsMenu::SetSettings(const CopySettings& settings) {
  settings_ = settings;
  ShowSettings();
}

void CopyOptionsMenu::ShowSettings() {
  const QSignalBlocker a(SrgbAction), b(KeepLocationAction), c(NoMetadataAction);
  SrgbAction->setChecked(settings_.convertToSrgb);
  KeepLocationAction->setChecked(settings_.keepLocation);
  NoMetadataAction->setChecked(settings_.noMetadata);
  // Without metadata there is no position to keep.
  KeepLocationAction->setEnabled(!settings_.noMetadata);
  bool listed = false;
  for (QAction* action : qualities_->actions())
    if (action != otherQuality_ && action->data().toInt() == settings_.quality) {
      action->setChecked(true);
      listed = true;
    }
  otherQuality_->setVisible(!listed);
  if (!listed) {
    otherQuality_->setText(QString::number(settings_.quality));
    otherQuality_->setData(settings_.quality);
    otherQuality_->setChecked(true);
  }
  // The other entry's handler takes the quality it shows.
  disconnect(otherQuality_, &QAction::triggered, this, nullptr);
  const int shown = settings_.quality;
  connect(otherQuality_, &QAction::triggered, this, [this, shown] { settings_.quality = shown; });
}

}  // namespace tessaly
