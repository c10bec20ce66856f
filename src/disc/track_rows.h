#pragma once
// The rows of the track list, as the model and the command-line tool see them: an ordered set of
// rows with four text columns, a check state and a reference to the row's track record.

#include <array>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"

namespace korvi {

class CTrackInfo;

enum TrackColumn { kColumnName = 0, kColumnLength = 1, kColumnBegin = 2, kColumnEnd = 3 };
constexpr int kTrackColumnCount = 4;

class ITrackRows {
 public:
  virtual ~ITrackRows() = default;
  virtual void DeleteAllRows() = 0;
  // Inserts a row before index (past the end appends); returns the row's index.
  virtual int InsertRow(int index, const std::string& name) = 0;
  virtual void SetText(int row, int column, const std::string& text) = 0;
  virtual void SetChecked(int row, bool checked) = 0;
  virtual void SetItemData(int row, CTrackInfo* track) = 0;

  virtual int RowCount() const = 0;
  virtual std::string Text(int row, int column) const = 0;
  virtual bool IsChecked(int row) const = 0;
  virtual CTrackInfo* ItemData(int row) const = 0;
};

// Rows kept in memory: the command-line tool's list, and the tests'.
class TrackRowTable : public ITrackRows {
 public:
  struct Row {
    std::array<std::string, kTrackColumnCount> texts;
    bool checked = false;
    CTrackInfo* track = nullptr;
  };

  void DeleteAllRows() override { m_rows.clear(); }
  int InsertRow(int index, const std::string& name) override;
  void SetText(int row, int column, const std::string& text) override;
  void SetChecked(int row, bool checked) override;
  void SetItemData(int row, CTrackInfo* track) override;

  int RowCount() const override { return static_cast<int>(m_rows.size()); }
  std::string Text(int row, int column) const override;
  bool IsChecked(int row) const override;
  CTrackInfo* ItemData(int row) const override;

  const std::vector<Row>& rows() const { return m_rows; }

 private:
  bool Valid(int row, int column = 0) const {
    return row >= 0 && row < RowCount() && column >= 0 && column < kTrackColumnCount;
  }
  std::vector<Row> m_rows;
};

// The tracks the list shows, by their place in the table of contents (from 0): the audio tracks
// from the first one (after the data tracks that lead a mixed-mode disc) up to the next data track.
struct ListedTracks {
  int first = 0;
  int count = 0;
};
ListedTracks ListedTracksOf(const DiscToc& disc);

// The disc's own number of the track that a row lists: 4 for the first row of a disc whose tracks
// start at 4, 2 for the first row of a mixed-mode disc. Rows past the list count on from its last.
int RowTrackNumber(const DiscToc& disc, int row);

// "Track 4": what the disc's track 4 is called until it has a title.
std::string NumberedTrackName(int number);

// Appends one checked row per listed track, named after the track's own number.
void AppendTrackRows(ITrackRows& rows, const DiscToc& disc);

// Begin and end of a row as its sector columns say; a text that is not a number gives 0.
TrackSpan RowSpan(const ITrackRows& rows, int row);

}  // namespace korvi
