#include "disc/cd_device.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/memory.h>
#include <cdio/mmc.h>
#include <cdio/mmc_ll_cmds.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "common/fs_util.h"
#include "disc/cue_image.h"
#include "disc/cue_sheet.h"
#include "text/ascii_case.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

// libcdio reports causes through its log; keep the latest for the caller instead of letting it
// print to the terminal.
thread_local std::string t_cdioMessage;

void KeepCdioMessage(cdio_log_level_t level, const char message[]) {
  if (level >= CDIO_LOG_WARN && message) t_cdioMessage = message;
}

void InstallCdioLogHandler() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_log_set_handler(KeepCdioMessage); });
}

std::string TakeCdioMessage() {
  std::string message = std::move(t_cdioMessage);
  t_cdioMessage.clear();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

std::string WithCause(std::string what) {
  const std::string cause = TakeCdioMessage();
  if (!cause.empty()) what += " (" + cause + ")";
  return what;
}

bool IsCueSheetName(const std::string& path) {
  return EndsWithIgnoringCase(path, ".cue");
}

constexpr unsigned kTestUnitReadyMs = 5000;

// The drive's sense data of its last command, as key, code and qualifier in one number (0x023A02);
// 0 when it gave none.
uint32_t LastSense(const CdIo_t* cdio) {
  cdio_mmc_request_sense_t* sense = nullptr;
  const int length = mmc_last_cmd_sense(cdio, &sense);
  uint32_t value = 0;
  if (length >= 14 && sense) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(sense);
    value = uint32_t(bytes[2] & 0x0F) << 16 | uint32_t(bytes[12]) << 8 | bytes[13];
  }
  free(sense);
  return value;
}

DriveState StateOfSense(uint32_t sense) {
  if ((sense & 0x0FFF00) == 0x023A00) return (sense & 0xFF) == 0x02 ? DriveState::kTrayOpen : DriveState::kNoDisc;
  if ((sense & 0x0FFF00) == 0x062800) return DriveState::kChanged;
  return DriveState::kUnknown;
}

std::string CdTextField(const cdtext_t* text, cdtext_field_t field, track_t track) {
  const char* value = text ? cdtext_get_const(text, field, track) : nullptr;
  return value ? ReplaceControls(ToUtf8(value), ' ') : std::string();
}

// The CD-Text a drive (or a cdrdao image) carries, in the fields a cue sheet gives too.
DiscText ReadCdText(CdIo_t* cdio, int trackCount) {
  DiscText text;
  const cdtext_t* cdtext = cdio_get_cdtext(cdio);
  text.tracks.resize(size_t(trackCount));
  if (!cdtext) return text;
  const auto fields = [cdtext](track_t track) {
    CdTextFields out;
    out.title = CdTextField(cdtext, CDTEXT_FIELD_TITLE, track);
    out.performer = CdTextField(cdtext, CDTEXT_FIELD_PERFORMER, track);
    out.songwriter = CdTextField(cdtext, CDTEXT_FIELD_SONGWRITER, track);
    out.isrc = track ? CdTextField(cdtext, CDTEXT_FIELD_ISRC, track) : std::string();
    return out;
  };
  text.disc = fields(0);
  text.catalog = CdTextField(cdtext, CDTEXT_FIELD_UPC_EAN, 0);
  text.genre = CdTextField(cdtext, CDTEXT_FIELD_GENRE, 0);
  text.discId = CdTextField(cdtext, CDTEXT_FIELD_DISCID, 0);
  const track_t first = cdio_get_first_track_num(cdio);
  for (int i = 0; i < trackCount; ++i) text.tracks[size_t(i)] = fields(static_cast<track_t>(first + i));
  return text;
}

// ---- The files libcdio opens for an image ----
//
// libcdio opens them with fopen(), which waits for a writer when a pipe is there, for good: each
// file it would open is checked before it is asked. They are found the way its parsers find them.

bool EndsWith3(std::string_view name, std::string_view lower, std::string_view upper) {
  return name.size() > 3 && (name.ends_with(lower) || name.ends_with(upper));
}

// name with its last three letters (all small or all capitals) replaced by others of that case.
std::string SwapEnding(std::string_view name, std::string_view lower, std::string_view upper) {
  const bool small = std::islower(static_cast<unsigned char>(name.back()));
  return std::string(name.substr(0, name.size() - 3)) + std::string(small ? lower : upper);
}

// The text of a sheet or toc file that libcdio will parse; nullopt, with *error, when it is not a
// regular file, cannot be read, or is too large to be one.
std::optional<std::string> ReadImageText(const std::string& path, std::string* error) {
  const UniqueFd fd = OpenRegularFile(path, error);
  if (!fd.Valid()) return std::nullopt;
  std::string text;
  if (!ReadUpTo(fd.Get(), kMaxCueSheetBytes, text)) {
    if (error)
      *error = text.size() > kMaxCueSheetBytes ? path + " is too large to be an image's table of contents"
                                               : "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return text;
}

// The names that lines starting with one of keywords give, as libcdio reads them: each line by
// fgets() into lineBytes (a longer line reads as several), the keyword and the name split off by
// strtok() with its delimiters, after cutting the line at "//" when the format has such comments.
std::vector<std::string> NamedFiles(std::string_view text, size_t lineBytes, bool slashComments,
                                    std::initializer_list<std::string_view> keywords) {
  constexpr std::string_view kWordEnds = " \t\n\r";
  constexpr std::string_view kNameEnds = "\"\t\n\r";
  std::vector<std::string> names;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const size_t end =
        std::min({newline == std::string_view::npos ? text.size() : newline + 1, lineBytes - 1});
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end);
    line = line.substr(0, line.find('\0'));  // where C's string ends
    if (slashComments) line = line.substr(0, line.find("//"));
    const size_t wordStart = line.find_first_not_of(kWordEnds);
    if (wordStart == std::string_view::npos) continue;
    const size_t wordEnd = std::min(line.find_first_of(kWordEnds, wordStart), line.size());
    const std::string_view word = line.substr(wordStart, wordEnd - wordStart);
    if (std::find(keywords.begin(), keywords.end(), word) == keywords.end() || wordEnd + 1 >= line.size())
      continue;
    const std::string_view rest = line.substr(wordEnd + 1);
    const size_t nameStart = rest.find_first_not_of(kNameEnds);
    if (nameStart == std::string_view::npos) continue;
    const size_t nameEnd = std::min(rest.find_first_of(kNameEnds, nameStart), rest.size());
    names.emplace_back(rest.substr(nameStart, nameEnd - nameStart));
  }
  return names;
}

// False, with *error, when something other than a regular file is at path. A missing file is
// libcdio's to report.
bool NoPipeAt(const std::string& path, std::string* error) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 || OpenRegularFile(path, error).Valid();
}

// Every file libcdio opens for the image at path, which is not a device, is a regular file.
bool CheckFilesForLibcdio(const std::string& path, std::string* error) {
  if (!OpenRegularFile(path, error).Valid()) return false;
  std::vector<std::string> files;
  std::string sheet;  // a cue sheet that libcdio reads itself
  if (EndsWith3(path, "toc", "TOC")) {
    // cdrdao's format: names as written, which libcdio opens from the working folder.
    const std::optional<std::string> toc = ReadImageText(path, error);
    if (!toc) return false;
    files = NamedFiles(*toc, 512, true, {"FILE", "AUDIOFILE", "DATAFILE"});
  } else if (EndsWith3(path, "cue", "CUE")) {
    sheet = path;
    files.push_back(SwapEnding(path, "bin", "BIN"));
  } else if (EndsWith3(path, "bin", "BIN")) {
    sheet = SwapEnding(path, "cue", "CUE");
  }
  struct stat info {};
  if (!sheet.empty() && ::stat(sheet.c_str(), &info) == 0) {
    const std::optional<std::string> text = ReadImageText(sheet, error);
    if (!text) return false;
    const std::string folder = ParentFolder(sheet);
    for (const std::string& name : NamedFiles(*text, 4096, false, {"CDTEXTFILE"}))
      files.push_back(name.starts_with('/') ? name : folder + "/" + name);
  }
  for (const std::string& file : files)
    if (!NoPipeAt(file, error)) return false;
  return true;
}

}  // namespace

std::unique_ptr<CdDevice> CdDevice::Open(const std::string& driveName, std::string* error) {
  InstallCdioLogHandler();
  TakeCdioMessage();
  if (driveName.empty()) {
    if (error) *error = "no drive name";
    return nullptr;
  }
  struct stat info {};
  if (stat(driveName.c_str(), &info) != 0) {
    if (error) *error = "cannot open " + driveName + ": " + std::strerror(errno);
    return nullptr;
  }
  // A drive is a device; anything else is an image, whose files must not be pipes or devices.
  const bool device = S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode);
  if (IsCueSheetName(driveName)) {
    if (!device && !OpenRegularFile(driveName, error).Valid()) return nullptr;
    return OpenCueImage(driveName, error);
  }
  if (!device && !CheckFilesForLibcdio(driveName, error)) return nullptr;
  CdIo_t* cdio = cdio_open(driveName.c_str(), DRIVER_UNKNOWN);
  TakeCdioMessage();  // libcdio's complaint names whichever driver it tried last
  if (!cdio) {
    if (error) *error = "cannot open " + driveName + ": not a CD drive or a disc image that can be read";
    return nullptr;
  }
  return std::unique_ptr<CdDevice>(new CdDevice(cdio, driveName));
}

std::unique_ptr<CdDevice> CdDevice::OpenCueImage(const std::string& driveName, std::string* error) {
  std::string cause;
  std::unique_ptr<CueImage> cue = CueImage::Open(driveName, &cause);
  if (!cue) {
    if (error) *error = "cannot open " + driveName + ": " + cause;
    return nullptr;
  }
  std::unique_ptr<CdDevice> device(new CdDevice(nullptr, driveName));
  device->m_cue = std::move(cue);
  return device;
}

CdDevice::CdDevice(CdIo_t* cdio, std::string name) : m_cdio(cdio), m_name(std::move(name)) {}

CdDevice::~CdDevice() {
  if (m_cdio) cdio_destroy(m_cdio);
}

bool CdDevice::isImage() const {
  if (m_cue) return true;
  switch (cdio_get_driver_id(m_cdio)) {
    case DRIVER_BINCUE:
    case DRIVER_CDRDAO:
    case DRIVER_NRG:
      return true;
    default:
      return false;
  }
}

bool CdDevice::Fail(std::string message) {
  m_lastError = WithCause(std::move(message));
  return false;
}

bool CdDevice::ReadToc(DiscToc& out) {
  std::lock_guard lock(m_mutex);
  TakeCdioMessage();
  out = DiscToc{};
  if (m_cue) return ReadCueToc(out);
  const track_t first = cdio_get_first_track_num(m_cdio);
  const track_t last = cdio_get_last_track_num(m_cdio);
  if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first < 1 || last < first ||
      last - first + 1 > kMaxTocTracks)
    return Fail("no table of contents on " + m_name);

  CDROM_TOC& toc = out.toc;
  toc.FirstTrack = first;
  toc.LastTrack = last;
  const int count = last - first + 1;
  int32_t previous = -1;
  for (int i = 0; i <= count; ++i) {
    const bool leadOut = i == count;
    const track_t track =
        leadOut ? static_cast<track_t>(CDIO_CDROM_LEADOUT_TRACK) : static_cast<track_t>(first + i);
    const lba_t lba = cdio_get_track_lba(m_cdio, track);
    // An image's lead-out is where its data file ends: before the last track, the file is short.
    if (leadOut && isImage() && lba != CDIO_INVALID_LBA && lba <= previous)
      return Fail("the data file of " + m_name + " ends at sector " + std::to_string(lba - kLeadInSectors) +
                  ", before track " + std::to_string(last) + " begins at sector " +
                  std::to_string(previous - kLeadInSectors) + ": the image is cut short");
    if (lba == CDIO_INVALID_LBA || lba < kLeadInSectors || lba <= previous ||
        lba >= 100 * 60 * kSectorsPerSecond)
      return Fail("the table of contents of " + m_name + " is inconsistent: " +
                  (leadOut ? std::string("the lead-out") : "track " + std::to_string(track)) +
                  " does not start after the previous track");
    previous = lba;
    TRACK_DATA& entry = toc.TrackData[i];
    const bool data = !leadOut && cdio_get_track_format(m_cdio, track) != TRACK_FORMAT_AUDIO;
    const bool emphasis = !leadOut && !data && cdio_get_track_preemphasis(m_cdio, track) == CDIO_TRACK_FLAG_TRUE;
    entry.ControlAdr =
        static_cast<uint8_t>(0x10 | (data ? kControlDataTrack : 0) | (emphasis ? kControlPreEmphasis : 0));
    entry.TrackNumber = leadOut ? kLeadOutTrackNumber : track;
    SetEntryAddress(entry, lba);
  }
  const int length = 2 + 8 * (count + 1);
  toc.Length[0] = static_cast<uint8_t>(length >> 8);
  toc.Length[1] = static_cast<uint8_t>(length & 0xFF);

  out.text = ReadCdText(m_cdio, count);
  out.pregaps.assign(size_t(count), 0);
  for (int i = 0; i < count; ++i) {
    const lba_t pregap = cdio_get_track_pregap_lba(m_cdio, static_cast<track_t>(first + i));
    const int32_t start = SectorFromMsf(toc.TrackData[i].Address);
    if (pregap != CDIO_INVALID_LBA && pregap - kLeadInSectors < start && pregap - kLeadInSectors >= 0)
      out.pregaps[size_t(i)] = start - (pregap - kLeadInSectors);
  }
  if (isImage()) {
    out.audioEnd = ImageAudioEnd(toc, [this](int track) -> std::optional<int32_t> {
      const lba_t pregap = cdio_get_track_pregap_lba(m_cdio, static_cast<track_t>(track));
      if (pregap == CDIO_INVALID_LBA) return std::nullopt;
      return pregap - kLeadInSectors;
    });
  } else {
    // A drive knows its sessions: the last one starts with the data track of an enhanced CD.
    lsn_t lastSession = 0;
    if (cdio_get_last_session(m_cdio, &lastSession) == DRIVER_OP_SUCCESS && lastSession > 0)
      out.audioEnd = lastSession - kSessionGapSectors;
  }
  return true;
}

void CdDevice::ReadCodes(DiscText& text) {
  // A cue sheet gives its codes with its text.
  if (m_cue) return;
  std::lock_guard lock(m_mutex);
  const auto take = [](char* code) {
    std::string value = code ? ReplaceControls(ToUtf8(code), ' ') : std::string();
    cdio_free(code);
    // A drive without the code answers with zeros or nothing.
    return value.find_first_not_of("0 ") == std::string::npos ? std::string() : value;
  };
  if (text.catalog.empty()) text.catalog = take(cdio_get_mcn(m_cdio));
  const track_t first = cdio_get_first_track_num(m_cdio);
  for (size_t i = 0; i < text.tracks.size(); ++i) {
    if (!text.tracks[i].isrc.empty()) continue;
    const track_t track = static_cast<track_t>(first + i);
    if (cdio_get_track_format(m_cdio, track) != TRACK_FORMAT_AUDIO) continue;
    text.tracks[i].isrc = take(cdio_get_track_isrc(m_cdio, track));
  }
  TakeCdioMessage();
}

bool CdDevice::ReadCueToc(DiscToc& out) {
  const std::vector<CueImage::TrackLayout>& tracks = m_cue->Tracks();
  if (tracks.empty() || tracks.size() > size_t(kMaxTocTracks) || tracks.back().number > kMaxTocTracks)
    return Fail("no table of contents on " + m_name);
  CDROM_TOC& toc = out.toc;
  toc.FirstTrack = static_cast<uint8_t>(tracks.front().number);
  toc.LastTrack = static_cast<uint8_t>(tracks.back().number);
  for (size_t i = 0; i <= tracks.size(); ++i) {
    const bool leadOut = i == tracks.size();
    TRACK_DATA& entry = toc.TrackData[i];
    const bool data = !leadOut && !tracks[i].audio;
    const bool emphasis = !leadOut && tracks[i].preEmphasis;
    entry.ControlAdr =
        static_cast<uint8_t>(0x10 | (data ? kControlDataTrack : 0) | (emphasis ? kControlPreEmphasis : 0));
    entry.TrackNumber = leadOut ? kLeadOutTrackNumber : static_cast<uint8_t>(tracks[i].number);
    SetEntryAddress(entry, (leadOut ? m_cue->LeadOut() : tracks[i].start) + kLeadInSectors);
  }
  const int length = 2 + 8 * int(tracks.size() + 1);
  toc.Length[0] = static_cast<uint8_t>(length >> 8);
  toc.Length[1] = static_cast<uint8_t>(length & 0xFF);
  // A sheet that marks its sessions ends the audio as a drive does; else the image rule.
  out.audioEnd = m_cue->SessionAudioEnd();
  if (!out.audioEnd)
    out.audioEnd = ImageAudioEnd(toc, [&tracks](int track) {
      const int first = tracks.front().number;
      return tracks[size_t(track - first)].pregapBegin;
    });
  out.text = m_cue->Text();
  out.pregaps.clear();
  for (const CueImage::TrackLayout& track : tracks)
    out.pregaps.push_back(
        track.pregapBegin && *track.pregapBegin < track.start ? track.start - *track.pregapBegin : 0);
  return true;
}

std::optional<int32_t> CdDevice::ImageAudioEnd(const CDROM_TOC& toc,
                                               const std::function<std::optional<int32_t>(int)>& pregapOf) {
  // An image has no sessions, but it says where the first data track after audio begins: at its
  // pregap (INDEX 00) when it has one. Without one the audio runs up to the data track itself.
  const int count = TocTrackCount(toc);
  for (int i = 0; i + 1 < count; ++i) {
    if (IsDataEntry(toc.TrackData[i]) || !IsDataEntry(toc.TrackData[i + 1])) continue;
    const std::optional<int32_t> pregapBegin = pregapOf(toc.TrackData[i + 1].TrackNumber);
    const int32_t audioBegin = SectorFromMsf(toc.TrackData[i].Address);
    const int32_t dataBegin = SectorFromMsf(toc.TrackData[i + 1].Address);
    if (!pregapBegin || *pregapBegin <= audioBegin || *pregapBegin >= dataBegin) return std::nullopt;
    return pregapBegin;
  }
  return std::nullopt;
}

bool CdDevice::ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) {
  // Set for a drive only, which takes its turn per command.
  if (m_fua.load() && start >= 0 && count > 0 && buffer) {
    if (ReadFua(start, buffer, count)) return true;
    std::lock_guard lock(m_mutex);
    return Fail("cannot read sector " + std::to_string(start) + " (" + std::to_string(count) +
                " sectors) of " + m_name);
  }
  std::lock_guard lock(m_mutex);
  TakeCdioMessage();
  if (start < 0 || count < 1 || !buffer)
    return Fail("invalid sector range " + std::to_string(start) + "+" + std::to_string(count));
  if (m_cue && !m_cue->ReadRawSectors(start, buffer, count))
    return Fail("cannot read sector " + std::to_string(start) + " (" + std::to_string(count) +
                " sectors) of " + m_name + ": " + m_cue->LastError());
  if (m_cue) return true;
  const std::string what =
      "cannot read sector " + std::to_string(start) + " (" + std::to_string(count) + " sectors) of " + m_name;
  // A disc read after it went away may be another one: nothing is read until it is opened anew.
  if (!m_mediumLost.empty()) return Fail(what + ": " + m_mediumLost);
  if (cdio_read_audio_sectors(m_cdio, buffer, start, static_cast<uint32_t>(count)) != DRIVER_OP_SUCCESS) {
    m_mediumLost = LostCause();
    return Fail(m_mediumLost.empty() ? what : what + ": " + m_mediumLost);
  }
  if (!ImageHoldsSectors(start, count))
    return Fail("cannot read sector " + std::to_string(start) + " (" + std::to_string(count) +
                " sectors) of " + m_name + ": its data file ends before them");
  return true;
}

void CdDevice::ForgetReads(int32_t near) {
  // 20,000 sectors (4½ minutes of audio, 47 MB) is more than any drive's cache spans; the other end
  // of a shorter disc is as far as it goes. A cache that was measured is pushed out by reading more
  // than it holds; else a small batch moves the head, and a drive's read-ahead fills from there.
  // With FUA reads the cache is no matter, but the head is still moved: a drive that lands a few
  // samples off after a seek and streams on from there gives a re-read that follows on from the
  // last read the same misplaced samples, which paranoia would take as verified.
  constexpr int32_t kFar = 20000;
  constexpr int32_t kBatch = 26;
  if (m_noCache.load()) return;
  const int32_t cache = m_fua.load() ? 0 : m_cacheSectors.load();
  const int32_t sectors = std::max(kBatch, cache + cache / 8);
  int32_t leadOut = 0;
  {
    std::lock_guard lock(m_mutex);
    if (m_cue) {
      leadOut = m_cue->LeadOut();
    } else {
      const lsn_t end = cdio_get_track_lsn(m_cdio, CDIO_CDROM_LEADOUT_TRACK);
      if (end == CDIO_INVALID_LSN) return;
      leadOut = end;
    }
  }
  if (leadOut < sectors) return;
  int32_t at = near + kFar + sectors <= leadOut ? near + kFar : near - kFar;
  if (at < 0) at = near < leadOut / 2 ? leadOut - sectors : 0;
  std::vector<uint8_t> ignored(size_t(kBatch) * kRawSectorBytes);
  const auto readFrom = [&](int32_t from) {
    for (int32_t done = 0; done < sectors; done += kBatch)
      if (!ReadRawSectors(from + done, ignored.data(), std::min(kBatch, sectors - done))) return false;
    return true;
  };
  if (readFrom(at)) return;
  // A spot the drive cannot read moves the head all the same, but its cache may keep what it had:
  // the farther end of the disc then.
  const int32_t other = near < leadOut / 2 ? leadOut - sectors : 0;
  if (other != at) readFrom(other);
}

bool CdDevice::RunMmcRead(const uint8_t* cdb, size_t cdbBytes, uint8_t* data, size_t dataBytes) {
  if (isImage() || cdbBytes == 0 || cdbBytes > MAX_CDB_LEN) return false;
  mmc_cdb_t command{};
  std::memcpy(command.field, cdb, cdbBytes);
  std::lock_guard lock(m_mutex);
  constexpr unsigned kTimeoutMs = 10000;
  const driver_return_code_t result =
      mmc_run_cmd(m_cdio, kTimeoutMs, &command, SCSI_MMC_DATA_READ, static_cast<unsigned>(dataBytes), data);
  TakeCdioMessage();
  return result == DRIVER_OP_SUCCESS;
}

bool CdDevice::ImageHoldsSectors(int32_t start, int32_t count) {
  // libcdio reads past the end of a bin as a success, the missing bytes left as the buffer held
  // them; the bin's size decides. It is looked up once, and again only for sectors past it, so that
  // a rip does not stat the file for every read.
  if (cdio_get_driver_id(m_cdio) != DRIVER_BINCUE) return true;
  const int64_t end = (int64_t(start) + count) * kRawSectorBytes;
  if (end <= m_imageBytes) return true;
  const char* bin = cdio_get_arg(m_cdio, "source");
  struct stat info {};
  if (!bin || stat(bin, &info) != 0) return false;
  m_imageBytes = int64_t(info.st_size);
  return end <= m_imageBytes;
}

std::string CdDevice::LostCause() {
  if (isImage()) return "";
  DriveState state = StateOfSense(LastSense(m_cdio));
  // Without sense data from the read (a driver that reads by other means), the drive is asked.
  if (state == DriveState::kUnknown && mmc_test_unit_ready(m_cdio, kTestUnitReadyMs) != DRIVER_OP_SUCCESS)
    state = StateOfSense(LastSense(m_cdio));
  switch (state) {
    case DriveState::kTrayOpen:
      return "the drive's tray was opened";
    case DriveState::kNoDisc:
      return "the disc was taken out of the drive";
    case DriveState::kChanged:
      return "the disc was changed";
    default:
      return "";
  }
}

std::string CdDevice::MediumLost() const {
  std::lock_guard lock(m_mutex);
  return m_mediumLost;
}

DriveState CdDevice::AskState() {
  std::lock_guard lock(m_mutex);
  if (m_cue || isImage()) return DriveState::kReady;
  if (mmc_test_unit_ready(m_cdio, kTestUnitReadyMs) == DRIVER_OP_SUCCESS) return DriveState::kReady;
  const DriveState state = StateOfSense(LastSense(m_cdio));
  TakeCdioMessage();
  return state;
}

bool CdDevice::IsAudioTrack(int n) {
  std::lock_guard lock(m_mutex);
  if (m_cue) return n >= 1 && size_t(n) <= m_cue->Tracks().size() && m_cue->Tracks()[size_t(n - 1)].audio;
  const track_t first = cdio_get_first_track_num(m_cdio);
  const track_t last = cdio_get_last_track_num(m_cdio);
  if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || n < 1 || n > last - first + 1)
    return false;
  return cdio_get_track_format(m_cdio, static_cast<track_t>(first + n - 1)) == TRACK_FORMAT_AUDIO;
}

std::vector<std::string> EnumerateDrives() {
  InstallCdioLogHandler();
  std::vector<std::string> drives;
  if (char** devices = cdio_get_devices(DRIVER_DEVICE)) {
    for (char** device = devices; *device; ++device) drives.emplace_back(*device);
    cdio_free_device_list(devices);
  }
  TakeCdioMessage();
  if (const char* images = std::getenv("KORVI_CD_IMAGES")) {
    const std::string list = images;
    size_t from = 0;
    while (from <= list.size()) {
      size_t to = list.find(':', from);
      if (to == std::string::npos) to = list.size();
      if (to > from) drives.push_back(list.substr(from, to - from));
      from = to + 1;
    }
  }
  return drives;
}

}  // namespace korvi
