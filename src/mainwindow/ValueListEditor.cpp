#include "ValueListEditor.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace tessaly {
namespace {

constexpr int kRowHeight = 18;
constexpr int kKeyWidth = 104;
constexpr int kValueWidth = 271;

// An in-place editor that hands over its text on every edit, not only when
// it closes, so a shortcut pressed while typing sees the typed text.
class LiveDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      auto* self = const_cast<LiveDelegate*>(this);
      connect(line, &QLineEdit::textEdited, self, [self, line] { emit self->commitData(line); });
    }
    return editor;
  }
};

}  // namespace

TValueListEditor::TValueListEditor(const QStringList& keys, QWidget* parent)
    : QTableWidget(0, 2, parent) {
  setHorizontalHeaderLabels({tr("Ключ"), tr("Значение")});
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  horizontalHeader()->setDefaultSectionSize(kRowHeight);
  setColumnWidth(0, kKeyWidth);
  setColumnWidth(1, kValueWidth);
  setItemDelegate(new LiveDelegate(this));
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  for (const QString& key : keys) AppendRow(key);
  connect(this, &QTableWidget::itemChanged, this, &TValueListEditor::StringsChange);
}

int TValueListEditor::RowOf(const QString& key) const {
  for (int row = 0; row < rowCount(); ++row)
    if (item(row, 0)->data(Qt::UserRole).toString() == key) return row;
  return -1;
}

int TValueListEditor::AppendRow(const QString& key) {
  const QSignalBlocker quiet(this);
  const int row = rowCount();
  insertRow(row);
  auto* keyItem = new QTableWidgetItem(key);
  keyItem->setData(Qt::UserRole, key);
  keyItem->setFlags(Qt::ItemIsEnabled);
  setItem(row, 0, keyItem);
  setItem(row, 1, new QTableWidgetItem(QString()));
  return row;
}

QString TValueListEditor::Value(const QString& key) const {
  const int row = RowOf(key);
  return row < 0 ? QString() : item(row, 1)->text();
}

void TValueListEditor::SetValue(const QString& key, const QString& value) {
  int row = RowOf(key);
  if (row < 0) row = AppendRow(key);
  // An editor still open on the cell would write its stale text back later.
  if (QWidget* editor = indexWidget(model()->index(row, 1)))
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  {
    const QSignalBlocker quiet(this);
    item(row, 1)->setText(value);
  }
  emit StringsChange();
}

void TValueListEditor::SetKeyCaption(const QString& key, const QString& caption) {
  const int row = RowOf(key);
  if (row < 0) return;
  const QSignalBlocker quiet(this);
  item(row, 0)->setText(caption);
}

void TValueListEditor::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  // The value column takes what the key column leaves.
  setColumnWidth(1, std::max(0, viewport()->width() - columnWidth(0)));
}

}  // namespace tessaly
