#include "ExportProgress.h"

#include <QApplication>
#include <QKeyEvent>
#include <QEvent>
#include <QFileInfo>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>

namespace tessaly {


TExportProgress::TExportProgress(QStatusBar* statusBar, QProgressBar* bar, QToolButton* cancel,
                                 std::function<void()> onCancel)
    : QObject(statusBar), statusBar_(statusBar), bar_(bar), cancel_(cancel), onCancel_(std::move(onCancel)) {
  statusBar_->installEventFilter(this);
  connect(cancel_, &QToolButton::clicked, this, [this] { onCancel_(); });
}

void TExportProgress::Begin(int total) {
  bar_->setParent(statusBar_);
  bar_->setRange(0, total);
  bar_->setValue(0);
  bar_->setFormat(QCoreApplication::translate("tessaly::TImageForm", "%1 из %2").arg(0).arg(total));
  bar_->setTextVisible(true);
  bar_->show();
  bar_->raise();
  cancel_->setEnabled(true);
  cancel_->show();
  LayOut();
  qApp->installEventFilter(this);  // Escape
}

void TExportProgress::Step(int done, int total, const QString& file, bool stopping) {
  if (!stopping) {
    // '%' is the bar's own placeholder sign.
    QString name = QFileInfo(file).fileName();
    name.replace(u'%', QStringLiteral("%%"));
    bar_->setFormat(QCoreApplication::translate("tessaly::TImageForm", "%1 из %2: %3").arg(done).arg(total).arg(name));
  }
  bar_->setValue(done);
}

void TExportProgress::Stopping() {
  cancel_->setEnabled(false);
  bar_->setFormat(QCoreApplication::translate("tessaly::TImageForm", "Остановка…"));
}

void TExportProgress::End() {
  qApp->removeEventFilter(this);
  cancel_->hide();
  bar_->setTextVisible(false);
  bar_->hide();
  LayOut();
}

bool TExportProgress::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !cancel_->isHidden() &&
      !QApplication::activeModalWidget()) {
    // Taken before any shortcut of the focused control.
    event->accept();
    if (event->type() == QEvent::KeyPress) onCancel_();
    return true;
  }
  if (watched == statusBar_ && event->type() == QEvent::Resize && bar_->parentWidget() == statusBar_) LayOut();
  return false;
}

void TExportProgress::LayOut() {
  QRect bar = statusBar_->rect();
  if (cancel_->isVisible()) {
    const int w = cancel_->sizeHint().width();
    cancel_->setGeometry(bar.right() - w + 1, bar.top(), w, bar.height());
    bar.setRight(bar.right() - w);
  }
  bar_->setGeometry(bar);
}

}  // namespace tessaly
