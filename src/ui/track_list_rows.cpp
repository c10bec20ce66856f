#include "ui/track_list_rows.h"

#include <QTreeWidget>
#include <algorithm>

namespace korvi {
namespace {
constexpr int kTrackRole = Qt::UserRole + 1;
}

void TrackListRows::DeleteAllRows() {
  ++m_layout;
  m_list->clear();
}

int TrackListRows::InsertRow(int index, const std::string& name) {
  index = std::clamp(index, 0, RowCount());
  ++m_layout;
  auto* item = new QTreeWidgetItem;
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setText(kColumnName, QString::fromStdString(name));
  item->setCheckState(kColumnName, Qt::Unchecked);
  for (int column = kColumnLength; column < kTrackColumnCount; ++column)
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  m_list->insertTopLevelItem(index, item);
  return index;
}

void TrackListRows::SetText(int row, int column, const std::string& text) {
  if (QTreeWidgetItem* item = m_list->topLevelItem(row);
      item && column >= 0 && column < kTrackListColumnCount) {
    item->setText(column, QString::fromStdString(text));
    // A status with its AccurateRip verdict is often wider than the column.
    if (column == kColumnStatus) item->setToolTip(column, QString::fromStdString(text));
  }
}

void TrackListRows::SetChecked(int row, bool checked) {
  if (QTreeWidgetItem* item = m_list->topLevelItem(row))
    item->setCheckState(kColumnName, checked ? Qt::Checked : Qt::Unchecked);
}

void TrackListRows::SetItemData(int row, CTrackInfo* track) {
  if (QTreeWidgetItem* item = m_list->topLevelItem(row))
    item->setData(kColumnName, kTrackRole, QVariant::fromValue(static_cast<void*>(track)));
}

int TrackListRows::RowCount() const { return m_list->topLevelItemCount(); }

std::string TrackListRows::Text(int row, int column) const {
  const QTreeWidgetItem* item = m_list->topLevelItem(row);
  return item ? item->text(column).toStdString() : std::string();
}

bool TrackListRows::IsChecked(int row) const {
  const QTreeWidgetItem* item = m_list->topLevelItem(row);
  return item && item->checkState(kColumnName) == Qt::Checked;
}

CTrackInfo* TrackListRows::ItemData(int row) const {
  const QTreeWidgetItem* item = m_list->topLevelItem(row);
  return item ? static_cast<CTrackInfo*>(item->data(kColumnName, kTrackRole).value<void*>()) : nullptr;
}

bool TrackListRows::IsSelected(int row) const {
  const QTreeWidgetItem* item = m_list->topLevelItem(row);
  return item && item->isSelected();
}

int TrackListRows::FirstSelectedRow() const {
  for (int row = 0; row < RowCount(); ++row)
    if (IsSelected(row)) return row;
  return -1;
}

int TrackListRows::SelectedCount() const { return static_cast<int>(m_list->selectedItems().size()); }

}  // namespace korvi
