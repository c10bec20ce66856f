#pragma once
// One track's sector range and metadata.

#include <cstdint>
#include <string>

namespace korvi {

// "%d:%d:%d" of (end − begin) / 75 whole seconds, without leading zeros.
std::string LengthText(int32_t begin, int32_t end);

// The year of a track whose year nothing named, in memory and in library files alike: earlier
// versions' files hold 0 where an answer named no year (and their tags left it out), so 0 keeps
// its meaning there; a file's 2003 stays the year 2003.
inline constexpr int32_t kNoYear = 0;
// What earlier versions gave every track before anything named its year.
inline constexpr int32_t kEarlierDefaultYear = 2003;

class CTrackInfo {
 public:
  CTrackInfo(int32_t begin, int32_t end, const char* title = nullptr);

  void getRange(int32_t& begin, int32_t& end) const {
    begin = m_begin;
    end = m_end;
  }
  void setRange(int32_t begin, int32_t end) {
    m_begin = begin;
    m_end = end;
  }
  int32_t begin() const { return m_begin; }
  int32_t end() const { return m_end; }
  int32_t length() const { return m_end - m_begin; }
  std::string LengthText() const { return korvi::LengthText(m_begin, m_end); }

  std::string title() const { return m_title; }
  void setTitle(const char* text) { m_title = text ? text : ""; }
  void setTitle(const std::string& text) { m_title = text; }

  std::string artist;
  std::string album;
  int32_t year = kNoYear;
  std::string comment;

 private:
  int32_t m_begin;
  int32_t m_end;
  std::string m_title;
};

}  // namespace korvi
