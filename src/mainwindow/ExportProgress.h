// Export All's progress on the window: the bar laid over the status bar,
// with the Cancel button at its right end, following the status bar's size;
// the button or Escape, whichever control has the focus, asks to cancel.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QProgressBar;
class QStatusBar;
class QToolButton;

namespace tessaly {

class TExportProgress : public QObject {
 public:
  TExportProgress(QStatusBar* statusBar, QProgressBar* bar, QToolButton* cancel, std::function<void()> onCancel);

  // A run of total photos begins: the bar at 0 with Cancel beside it.
  void Begin(int total);
  // done of total written or failed, file the last one; while stopping the
  // bar says so rather than naming it.
  void Step(int done, int total, const QString& file, bool stopping);
  // Cancel was pressed: no further copy starts.
  void Stopping();
  // The run has ended: the bar and the button go.
  void End();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayOut();

  QStatusBar* statusBar_;
  QProgressBar* bar_;
  QToolButton* cancel_;
  std::function<void()> onCancel_;
};

}  // namespace tessaly
