#include "ValueListEditor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace tessaly {
namespace {

constexpr int kRowHeight = 18;
constexpr int kKeyWidth = 104;
constexpr int kValueWidth = 271;

constexpr int kChoicesRole = Qt::UserRole;         // QVariantList of {text, note}
constexpr int kPreferredNoteRole = Qt::UserRole + 1;

QList<ValueChoice> ChoicesOf(const QModelIndex& index) {
  QList<ValueChoice> choices;
  for (const QVariant& v : index.data(kChoicesRole).toList()) {
    const QStringList pair = v.toStringList();
    if (pair.size() == 2) choices.append({pair[0], pair[1]});
  }
  return choices;
}

QString NoteOf(const QModelIndex& index) {
  const QString text = index.data(Qt::EditRole).toString();
  const QString preferred = index.data(kPreferredNoteRole).toString();
  const QList<ValueChoice> choices = ChoicesOf(index);
  for (const ValueChoice& c : choices)
    if (c.text == text && c.note == preferred) return c.note;
  for (const ValueChoice& c : choices)
    if (c.text == text) return c.note;
  return {};
}

// An in-place editor that hands over its text on every edit, not only when
// it closes, so a shortcut pressed while typing sees the typed text. A cell
// with choices gets an editable drop-down whose list shows each choice with
// its note.
class LiveDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    auto* self = const_cast<LiveDelegate*>(this);
    const QList<ValueChoice> choices = ChoicesOf(index);
    if (!choices.isEmpty()) {
      auto* box = new QComboBox(parent);
      box->setEditable(true);
      box->setInsertPolicy(QComboBox::NoInsert);
      box->setFrame(false);
      auto* model = new QStandardItemModel(0, 2, box);
      for (const ValueChoice& c : choices) {
        auto* note = new QStandardItem(c.note);
        note->setForeground(QColor(Qt::darkGray));
        model->appendRow({new QStandardItem(c.text), note});
      }
      auto* list = new QTreeView(box);
      list->setHeaderHidden(true);
      list->setRootIsDecorated(false);
      list->setItemsExpandable(false);
      list->setAllColumnsShowFocus(true);
      box->setView(list);  // before the model, so the view shows its columns
      box->setModel(model);
      box->setModelColumn(0);
      list->header()->setStretchLastSection(true);
      list->resizeColumnToContents(0);
      list->resizeColumnToContents(1);
      list->setMinimumWidth(list->columnWidth(0) + list->columnWidth(1) + 8);
      connect(box->lineEdit(), &QLineEdit::textEdited, self, [self, box] { emit self->commitData(box); });
      connect(box, &QComboBox::activated, self, [self, box] { emit self->commitData(box); });
      return box;
    }
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
      connect(line, &QLineEdit::textEdited, self, [self, line] { emit self->commitData(line); });
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      const QString text = index.data(Qt::EditRole).toString();
      box->setCurrentIndex(box->findText(text));
      box->setEditText(text);
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      model->setData(index, box->currentText(), Qt::EditRole);
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QString note = NoteOf(index);
    if (note.isEmpty()) return;
    // An open editor covers the cell, except where its own parts leave gaps.
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
      if (view->indexWidget(index)) return;
    // In grey at the cell's right end, where it does not cover the value.
    const QFontMetrics metrics(option.font);
    const QRect cell = option.rect.adjusted(4, 0, -4, 0);
    const int valueWidth = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
    const QString shown = QStringLiteral("(%1)").arg(note);
    if (valueWidth + metrics.horizontalAdvance(shown) + 12 > cell.width()) return;
    painter->save();
    painter->setPen(QColor(Qt::darkGray));
    painter->drawText(cell, Qt::AlignRight | Qt::AlignVCenter, shown);
    painter->restore();
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

void TValueListEditor::SetChoices(const QString& key, const QList<ValueChoice>& choices,
                                  const QString& preferredNote) {
  int row = RowOf(key);
  if (row < 0) row = AppendRow(key);
  QVariantList list;
  for (const ValueChoice& c : choices) list.append(QStringList{c.text, c.note});
  const QSignalBlocker quiet(this);
  item(row, 1)->setData(kChoicesRole, list);
  item(row, 1)->setData(kPreferredNoteRole, preferredNote);
}

QList<ValueChoice> TValueListEditor::Choices(const QString& key) const {
  const int row = RowOf(key);
  return row < 0 ? QList<ValueChoice>() : ChoicesOf(model()->index(row, 1));
}

QString TValueListEditor::Note(const QString& key) const {
  const int row = RowOf(key);
  return row < 0 ? QString() : NoteOf(model()->index(row, 1));
}

void TValueListEditor::FinishEditing() {
  for (int row = 0; row < rowCount(); ++row) {
    if (QWidget* editor = indexWidget(model()->index(row, 1))) {
      commitData(editor);
      closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
  }
}

void TValueListEditor::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  // The value column takes what the key column leaves.
  setColumnWidth(1, std::max(0, viewport()->width() - columnWidth(0)));
}

}  // namespace tessaly
