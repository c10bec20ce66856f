#pragma once
// The track list's rows as the model sees them: a QTreeWidget with check boxes in column 0 and the
// row's track record as its item data.

#include <cstdint>
#include <optional>

#include "disc/track_rows.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace korvi {

// The window's own column after the model's: what the last rip made of the track. The model and
// the lookups never see it.
constexpr int kColumnStatus = kTrackColumnCount;
constexpr int kTrackListColumnCount = kTrackColumnCount + 1;

class TrackListRows : public ITrackRows {
 public:
  explicit TrackListRows(QTreeWidget* list) : m_list(list) {}

  void DeleteAllRows() override;
  int InsertRow(int index, const std::string& name) override;
  void SetText(int row, int column, const std::string& text) override;
  void SetChecked(int row, bool checked) override;
  void SetItemData(int row, CTrackInfo* track) override;

  int RowCount() const override;
  std::string Text(int row, int column) const override;
  bool IsChecked(int row) const override;
  CTrackInfo* ItemData(int row) const override;

  // Changes whenever rows are deleted or inserted: a row number taken before a nested event loop
  // still names the same row afterwards only while this has not changed.
  uint64_t Layout() const { return m_layout; }

  // The audio before track 1, as a row above the others that the model and the lookups never
  // see: unchecked, until the rows are deleted.
  void ShowHiddenTrack(const TrackSpan& span);
  // Its sectors when it is shown and checked.
  std::optional<TrackSpan> CheckedHiddenTrack() const;
  void SetHiddenTrackStatus(const std::string& text);

  bool IsSelected(int row) const;
  // The first selected row in list order, or -1.
  int FirstSelectedRow() const;
  int SelectedCount() const;

 private:
  QTreeWidgetItem* Item(int row) const;

  QTreeWidget* m_list;
  uint64_t m_layout = 0;
  int m_hidden = 0;  // 1 while the hidden track's row is shown, above row 0
  TrackSpan m_hiddenSpan;
};

}  // namespace korvi
