// TValueListEditor: a two-column key/value grid with a title row. Keys are
// fixed; values are edited in place, and each keystroke is taken into the
// rows at once, so the rows always hold what the user sees.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace tessaly {

class TValueListEditor : public QTableWidget {
  Q_OBJECT

 public:
  TValueListEditor(const QStringList& keys, QWidget* parent = nullptr);

  // The value of a key's row; "" when there is no such row.
  QString Value(const QString& key) const;
  // Sets the value of a key's row, appending the row when there is none.
  // Fires StringsChange whether or not the text differs.
  void SetValue(const QString& key, const QString& value);
  // The text shown for a key's row (its translation); the row keeps being
  // found by its key.
  void SetKeyCaption(const QString& key, const QString& caption);

 signals:
  // Every change of the rows, by the user or by the program.
  void StringsChange();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int RowOf(const QString& key) const;
  int AppendRow(const QString& key);
};

}  // namespace tessaly
