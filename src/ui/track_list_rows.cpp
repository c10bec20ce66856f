#include "ui/track_list_rows.h"

#include <QCoreApplication>
#include <QTreeWidget>
#include <algorithm>

#include "disc/track_info.h"

namespace korvi {
namespace {
constexpr int kTrackRole = Qt::UserRole + 1;
}

QTreeWidgetItem* TrackListRows::Item(int row) const {
  return row >= 0 ? m_list->topLevelItem(row + m_hidden) : nullptr;
}

void TrackListRows::DeleteAllRows() {
  ++m_layout;
  m_hidden = 0;
  m_list->clear();
}

void TrackListRows::ShowHiddenTrack(const TrackSpan& span) {
  if (m_hidden) return;
  auto* item = new QTreeWidgetItem;
  // Checked for a rip by choice only: most players never play it, and it may be silence and noise.
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  item->setCheckState(kColumnName, Qt::Unchecked);
  item->setText(kColumnName, QCoreApplication::translate("korvi::TrackListRows", "Hidden track"));
  item->setText(kColumnLength, QString::fromStdString(LengthText(span.begin, span.end)));
  item->setText(kColumnBegin, QString::number(span.begin));
  item->setText(kColumnEnd, QString::number(span.end));
  for (int column = kColumnLength; column < kTrackColumnCount; ++column)
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  m_list->insertTopLevelItem(0, item);
  m_hidden = 1;
  m_hiddenSpan = span;
}

std::optional<TrackSpan> TrackListRows::CheckedHiddenTrack() const {
  const QTreeWidgetItem* item = m_hidden ? m_list->topLevelItem(0) : nullptr;
  if (!item || item->checkState(kColumnName) != Qt::Checked) return std::nullopt;
  return m_hiddenSpan;
}

void TrackListRows::SetHiddenTrackStatus(const std::string& text) {
  if (QTreeWidgetItem* item = m_hidden ? m_list->topLevelItem(0) : nullptr) {
    item->setText(kColumnStatus, QString::fromStdString(text));
    item->setToolTip(kColumnStatus, QString::fromStdString(text));
  }
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
  m_list->insertTopLevelItem(index + m_hidden, item);
  return index;
}

void TrackListRows::SetText(int row, int column, const std::string& text) {
  if (QTreeWidgetItem* item = Item(row);
      item && column >= 0 && column < kTrackListColumnCount) {
    item->setText(column, QString::fromStdString(text));
    // A status with its AccurateRip verdict is often wider than the column.
    if (column == kColumnStatus) item->setToolTip(column, QString::fromStdString(text));
  }
}

void TrackListRows::SetChecked(int row, bool checked) {
  if (QTreeWidgetItem* item = Item(row))
    item->setCheckState(kColumnName, checked ? Qt::Checked : Qt::Unchecked);
}

void TrackListRows::SetItemData(int row, CTrackInfo* track) {
  if (QTreeWidgetItem* item = Item(row))
    item->setData(kColumnName, kTrackRole, QVariant::fromValue(static_cast<void*>(track)));
}

int TrackListRows::RowCount() const { return m_list->topLevelItemCount() - m_hidden; }

std::string TrackListRows::Text(int row, int column) const {
  const QTreeWidgetItem* item = Item(row);
  return item ? item->text(column).toStdString() : std::string();
}

bool TrackListRows::IsChecked(int row) const {
  const QTreeWidgetItem* item = Item(row);
  return item && item->checkState(kColumnName) == Qt::Checked;
}

CTrackInfo* TrackListRows::ItemData(int row) const {
  const QTreeWidgetItem* item = Item(row);
  return item ? static_cast<CTrackInfo*>(item->data(kColumnName, kTrackRole).value<void*>()) : nullptr;
}

bool TrackListRows::IsSelected(int row) const {
  const QTreeWidgetItem* item = Item(row);
  return item && item->isSelected();
}

int TrackListRows::FirstSelectedRow() const {
  for (int row = 0; row < RowCount(); ++row)
    if (IsSelected(row)) return row;
  return -1;
}

int TrackListRows::SelectedCount() const { return static_cast<int>(m_list->selectedItems().size()); }

}  // namespace korvi
