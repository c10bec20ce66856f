#include "disc/track_rows.h"

#include <cstdint>
#include <cstdlib>

#include "disc/track_info.h"

namespace korvi {

int TrackRowTable::InsertRow(int index, const std::string& name) {
  if (index < 0 || index > RowCount()) index = RowCount();
  Row row;
  row.texts[kColumnName] = name;
  m_rows.insert(m_rows.begin() + index, std::move(row));
  return index;
}

void TrackRowTable::SetText(int row, int column, const std::string& text) {
  if (Valid(row, column)) m_rows[row].texts[column] = text;
}

void TrackRowTable::SetChecked(int row, bool checked) {
  if (Valid(row)) m_rows[row].checked = checked;
}

void TrackRowTable::SetItemData(int row, CTrackInfo* track) {
  if (Valid(row)) m_rows[row].track = track;
}

std::string TrackRowTable::Text(int row, int column) const {
  return Valid(row, column) ? m_rows[row].texts[column] : std::string();
}

bool TrackRowTable::IsChecked(int row) const { return Valid(row) && m_rows[row].checked; }

CTrackInfo* TrackRowTable::ItemData(int row) const { return Valid(row) ? m_rows[row].track : nullptr; }

ListedTracks ListedTracksOf(const DiscToc& disc) {
  const int count = TocTrackCount(disc.toc);
  ListedTracks listed;
  while (listed.first < count && IsDataEntry(disc.toc.TrackData[listed.first])) ++listed.first;
  while (listed.first + listed.count < count && !IsDataEntry(disc.toc.TrackData[listed.first + listed.count]))
    ++listed.count;
  return listed;
}

int RowTrackNumber(const DiscToc& disc, int row) {
  // Tracks are numbered on from the first one the table of contents names.
  if (disc.toc.FirstTrack < 1 || TocTrackCount(disc.toc) == 0) return row + 1;
  return disc.toc.FirstTrack + ListedTracksOf(disc).first + row;
}

std::string NumberedTrackName(int number) { return "Track " + std::to_string(number); }

void AppendTrackRows(ITrackRows& rows, const DiscToc& disc) {
  const ListedTracks listed = ListedTracksOf(disc);
  for (int i = 0; i < listed.count; ++i) {
    const int n = listed.first + i + 1;  // TrackSpanOf counts from 1
    const int row = rows.InsertRow(rows.RowCount(), NumberedTrackName(RowTrackNumber(disc, i)));
    const TrackSpan span = TrackSpanOf(disc, n);
    rows.SetText(row, kColumnLength, LengthText(span.begin, span.end));
    rows.SetText(row, kColumnBegin, std::to_string(span.begin));
    rows.SetText(row, kColumnEnd, std::to_string(span.end));
    rows.SetChecked(row, true);
  }
}

namespace {

// atoi's reading, without its undefined behaviour on out-of-range text.
int32_t SectorFromText(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

TrackSpan RowSpan(const ITrackRows& rows, int row) {
  TrackSpan span;
  span.begin = SectorFromText(rows.Text(row, kColumnBegin));
  span.end = SectorFromText(rows.Text(row, kColumnEnd));
  return span;
}

}  // namespace korvi
