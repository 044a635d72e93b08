// TValueListEditor: a two-column key/value grid with a title row. Keys are
// fixed; values are edited in place, and each keystroke is taken into the
// rows at once, so the rows always hold what the user sees. A row may offer
// choices: its in-place editor is then an editable drop-down listing them,
// each with a note (where it came from), and the note of the choice the
// value holds is shown in grey beside the value.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace tessaly {

struct ValueChoice {
  QString text;
  QString note;
  bool operator==(const ValueChoice&) const = default;
};

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

  // The drop-down of a key's value cell; none when choices is empty. When
  // several choices hold the value's text, the one with preferredNote is the
  // one whose note is shown. Fires no StringsChange.
  void SetChoices(const QString& key, const QList<ValueChoice>& choices,
                  const QString& preferredNote = {});
  QList<ValueChoice> Choices(const QString& key) const;
  // The note shown beside a key's value: that of the choice whose text the
  // value holds; "" when it holds none.
  QString Note(const QString& key) const;

  // Hands the text of an in-place editor that is still open to the rows
  // and closes it.
  void FinishEditing();

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
