// Rip jobs on real disc images: the files' audio equals the disc's, the messages come in order, and
// cancel, pause, overwrite answers and failures behave.

#include "fixtures/time_scale.h"
#include "rip/rip_job.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "messages/messenger.h"

namespace korvi {
namespace {

// Handles messages on the worker's own thread, as a command-line front end would.
class RecordingMessenger : public IFrameMessenger {
 public:
  std::function<int32_t(const std::string& path)> answerOverwrite = [](const std::string&) {
    return kOverwriteYes;
  };
  std::function<void(const RipProgress&)> onProgress = [](const RipProgress&) {};
  std::function<void(const std::string&)> onName = [](const std::string&) {};

  intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard lock(m_mutex);
    messages.push_back(message);
    if (message == WM_RIP_PROGRESS) {
      const auto& progress = *reinterpret_cast<const RipProgress*>(lParam);
      this->progress.push_back(progress);
      onProgress(progress);
    } else if (message == WM_RIP_FILE_NAME) {
      names.emplace_back(reinterpret_cast<const char*>(lParam));
      onName(names.back());
    } else if (message == WM_ASK_OVERWRITE) {
      const std::string path = reinterpret_cast<const char*>(wParam);
      asked.push_back(path);
      const int32_t answer = answerOverwrite(path);
      if (answer >= 0) *reinterpret_cast<int32_t*>(lParam) = answer;  // < 0: dismissed
    }
    return 0;
  }
  void Post(unsigned message, uintptr_t, intptr_t) override {
    std::lock_guard lock(m_mutex);
    messages.push_back(message);
  }

  std::vector<unsigned> messages;
  std::vector<RipProgress> progress;
  std::vector<std::string> names;
  std::vector<std::string> asked;

 private:
  std::recursive_mutex m_mutex;
};

std::vector<char> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RipJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", m_layout, &m_image, nullptr));
    m_device = CdDevice::Open(m_image.cue.string());
    ASSERT_TRUE(m_device);
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
  }

  RipTrack Track(int number, const std::string& title) {
    const int32_t begin = m_image.starts[number - 1];
    const int32_t end =
        number < int(m_image.starts.size()) ? m_image.starts[number] - 1 : m_image.leadOut - 1;
    return {CTrackInfo(begin, end, title.c_str()), number};
  }

  RipSettings Settings(bool replacePrompt = true) {
    RipSettings settings;
    settings.folder = m_out.string();
    settings.replacePrompt = replacePrompt;
    // One encoder: the messages below are checked in the order of work of a single thread.
    settings.encoderJobs = 1;
    return settings;
  }

  void Run(RipJob& job, std::vector<RipTrack> tracks, RipSettings settings) {
    ASSERT_TRUE(job.Start(std::move(tracks), std::move(settings)));
    job.Join();
    EXPECT_FALSE(job.IsRunning());
  }

  // The disc's bytes of a track, as the bin holds them.
  std::vector<char> DiscBytes(const RipTrack& track, int32_t sectors = -1) {
    if (sectors < 0) sectors = track.info.end() - track.info.begin() + 1;
    std::ifstream bin(m_image.bin, std::ios::binary);
    bin.seekg(std::streamoff(track.info.begin()) * 2352);
    std::vector<char> bytes(size_t(sectors) * 2352);
    bin.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
  }

  fixtures::ImageLayout m_layout{
      {{false, 120, 0, {}}, {false, 95, 30, {}}, {false, 60, 10, {}}, {false, 40, 5, {}}}};
  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::unique_ptr<CdDevice> m_device;
  std::filesystem::path m_out;
  RecordingMessenger m_messenger;
};

TEST_F(RipJobTest, FilesHoldTheDiscsAudioAndMessagesComeInOrder) {
  RipJob job(m_messenger, *m_device);
  const std::vector<RipTrack> tracks = {Track(1, "First"), Track(3, "Third")};
  Run(job, tracks, Settings());

  for (const RipTrack& track : tracks) {
    const auto file = ReadAll(m_out / (track.info.title() + ".wav"));
    const auto disc = DiscBytes(track);
    ASSERT_EQ(file.size(), 44 + disc.size());
    EXPECT_TRUE(std::equal(disc.begin(), disc.end(), file.begin() + 44)) << track.info.title();
  }
  EXPECT_TRUE(job.Failures().empty());
  EXPECT_EQ(job.WrittenFiles().size(), 2u);

  ASSERT_GE(m_messenger.messages.size(), 2u);
  EXPECT_EQ(m_messenger.messages.front(), unsigned(WM_RIP_STARTED));
  EXPECT_EQ(m_messenger.messages.back(), unsigned(WM_RIP_FINISHED));
  EXPECT_EQ(m_messenger.names,
            (std::vector<std::string>{(m_out / "First.wav").string(), (m_out / "Third.wav").string()}));
  const int32_t first = tracks[0].info.length(), third = tracks[1].info.length();
  ASSERT_EQ(m_messenger.progress.size(), size_t(first + 1 + third + 1));
  const RipProgress& start = m_messenger.progress.front();
  EXPECT_EQ(start.sectorIndex, 0);
  EXPECT_EQ(start.trackSectors, first);
  EXPECT_EQ(start.doneSectors, 0);
  EXPECT_EQ(start.totalSectors, first + third);
  const RipProgress& last = m_messenger.progress.back();
  EXPECT_EQ(last.sectorIndex, third);
  EXPECT_EQ(last.doneSectors, first + 1 + third);
}

TEST_F(RipJobTest, OneSectorTrack) {
  RipJob job(m_messenger, *m_device);
  RipTrack track = Track(2, "One");
  track.info.setRange(track.info.begin(), track.info.begin());
  Run(job, {track}, Settings());
  ASSERT_EQ(m_messenger.progress.size(), 1u);
  EXPECT_EQ(m_messenger.progress[0].sectorIndex, 0);
  EXPECT_EQ(m_messenger.progress[0].trackSectors, 0);
  EXPECT_EQ(std::filesystem::file_size(m_out / "One.wav"), 44u + 2352u);
}

TEST_F(RipJobTest, CancelLeavesAValidShorterFileAndStartsNoMoreTracks) {
  RipJob job(m_messenger, *m_device);
  m_messenger.onProgress = [&](const RipProgress& p) {
    if (p.trackSectors == Track(2, "").info.length() && p.sectorIndex == 20) job.Cancel();
  };
  Run(job, {Track(1, "A"), Track(2, "B"), Track(3, "C")}, Settings());
  EXPECT_TRUE(std::filesystem::exists(m_out / "A.wav"));
  EXPECT_FALSE(std::filesystem::exists(m_out / "C.wav"));
  const auto file = ReadAll(m_out / "B.wav");
  ASSERT_EQ(file.size(), 44u + 21 * 2352u);  // sectors 0 to 20
  const auto disc = DiscBytes(Track(2, "B"), 21);
  EXPECT_TRUE(std::equal(disc.begin(), disc.end(), file.begin() + 44));
  const uint32_t dataSize = uint8_t(file[40]) | uint8_t(file[41]) << 8 | uint8_t(file[42]) << 16 |
                            uint32_t(uint8_t(file[43])) << 24;
  EXPECT_EQ(dataSize, 21u * 2352u);
  EXPECT_EQ(m_messenger.messages.back(), unsigned(WM_RIP_FINISHED));
}

TEST_F(RipJobTest, PauseHoldsTheWorkerAtASectorBoundary) {
  RipJob job(m_messenger, *m_device);
  std::atomic<int> seen{0};
  m_messenger.onProgress = [&](const RipProgress& p) {
    seen++;
    if (p.sectorIndex == 5) job.Pause();  // as the stop question does, between two sectors
  };
  ASSERT_TRUE(job.Start({Track(1, "Paused")}, Settings()));
  while (seen.load() < 6) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(seen.load(), 6);
  EXPECT_TRUE(job.IsRunning());
  job.Resume();
  job.Join();
  EXPECT_EQ(seen.load(), Track(1, "").info.length() + 1);
}

TEST_F(RipJobTest, OverwriteAnswers) {
  for (const char* name : {"A", "B", "C", "D"}) std::ofstream(m_out / (std::string(name) + ".wav")) << "old";
  const auto tracks = std::vector<RipTrack>{Track(1, "A"), Track(2, "B"), Track(3, "C"), Track(4, "D")};
  const auto size = [&](const char* name) {
    return std::filesystem::file_size(m_out / (std::string(name) + ".wav"));
  };

  {  // Yes for A, No to All from B on: asked twice, B..D skipped but counted
    RipJob job(m_messenger, *m_device);
    int call = 0;
    m_messenger.answerOverwrite = [&](const std::string&) {
      return call++ == 0 ? kOverwriteYes : kOverwriteNoToAll;
    };
    Run(job, tracks, Settings());
    EXPECT_EQ(m_messenger.asked.size(), 2u);
    EXPECT_GT(size("A"), 3u);
    EXPECT_EQ(size("B"), 3u);
    EXPECT_EQ(size("D"), 3u);
    EXPECT_EQ(job.DoneSectors(), tracks[0].info.length() + 1 + tracks[1].info.length() +
                                     tracks[2].info.length() + tracks[3].info.length());
  }
  m_messenger.asked.clear();
  {  // A dismissed prompt before any answer keeps the file; Yes to All then stops asking
    RipJob job(m_messenger, *m_device);
    int call = 0;
    m_messenger.answerOverwrite = [&](const std::string&) { return call++ == 0 ? -1 : kOverwriteYesToAll; };
    Run(job, {Track(2, "B"), Track(3, "C"), Track(4, "D")}, Settings());
    EXPECT_EQ(m_messenger.asked.size(), 2u);
    EXPECT_EQ(size("B"), 3u);
    EXPECT_GT(size("C"), 3u);
    EXPECT_GT(size("D"), 3u);
  }
  m_messenger.asked.clear();
  {  // Dismissed after a Yes: that Yes was for its own file only
    for (const char* name : {"A", "B"}) std::ofstream(m_out / (std::string(name) + ".wav")) << "old";
    RipJob job(m_messenger, *m_device);
    int call = 0;
    m_messenger.answerOverwrite = [&](const std::string&) { return call++ == 0 ? kOverwriteYes : -1; };
    Run(job, {Track(1, "A"), Track(2, "B")}, Settings());
    EXPECT_EQ(m_messenger.asked.size(), 2u);
    EXPECT_GT(size("A"), 3u);
    EXPECT_EQ(size("B"), 3u);
  }
  m_messenger.asked.clear();
  {  // Without the prompt setting existing files are simply rewritten
    RipJob job(m_messenger, *m_device);
    Run(job, {Track(2, "B")}, Settings(false));
    EXPECT_TRUE(m_messenger.asked.empty());
    EXPECT_GT(size("B"), 3u);
  }
}

// Titles equal but for the case of their letters too: one file each, no question about a file the
// job made itself.
TEST_F(RipJobTest, SameTitleTwiceGivesTwoFilesWithoutAQuestion) {
  RipJob job(m_messenger, *m_device);
  m_messenger.answerOverwrite = [](const std::string&) { return kOverwriteNo; };
  Run(job, {Track(1, "Same"), Track(2, "SAME")}, Settings());
  EXPECT_TRUE(m_messenger.asked.empty());
  EXPECT_EQ(job.WrittenFiles(),
            (std::vector<std::string>{(m_out / "Same.wav").string(), (m_out / "SAME (2).wav").string()}));
  EXPECT_EQ(std::filesystem::file_size(m_out / "Same.wav"), 44u + 2352u * (Track(1, "").info.length() + 1));
  EXPECT_EQ(std::filesystem::file_size(m_out / "SAME (2).wav"),
            44u + 2352u * (Track(2, "").info.length() + 1));
}

TEST_F(RipJobTest, FailuresAreCollectedAndTheJobGoesOn) {
  RipJob job(m_messenger, *m_device);
  RipSettings settings = Settings();
  settings.folder = (m_dir / "missing").string();
  Run(job, {Track(1, "A"), Track(2, "B")}, settings);
  ASSERT_EQ(job.Failures().size(), 2u);
  EXPECT_EQ(job.Failures()[0].path, (m_dir / "missing" / "A.wav").string());
  EXPECT_NE(job.Failures()[0].cause.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(job.Failures()[1].path, (m_dir / "missing" / "B.wav").string());
  // Nothing is read for a file that cannot be made, and the job still runs to its end.
  EXPECT_TRUE(m_messenger.progress.empty());
  EXPECT_EQ(job.DoneSectors(), job.TotalSectors());
  EXPECT_EQ(job.Results()[1].StatusText(0), "Failed: " + job.Failures()[1].cause);
}

// A source whose sectors in [badFrom, badTo] cannot be read: a read that touches any of them fails
// (as a drive's does), its buffer left with garbage. It counts the calls and their sizes.
class FlakySource : public ISectorSource {
 public:
  FlakySource(ISectorSource& real, int32_t badFrom, int32_t badTo)
      : m_real(real), m_from(badFrom), m_to(badTo) {}
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    ++calls;
    largest = std::max(largest, count);
    if (start <= m_to && start + count - 1 >= m_from) {
      std::fill(buffer, buffer + 2352 * count, 0xAB);
      return false;
    }
    return m_real.ReadRawSectors(start, buffer, count);
  }
  int calls = 0;
  int32_t largest = 0;

 private:
  ISectorSource& m_real;
  int32_t m_from, m_to;
};

TEST_F(RipJobTest, UnreadableSectorsBecomeSilenceAndAreReported) {
  const RipTrack track = Track(1, "Scratched");
  FlakySource source(*m_device, track.info.begin() + 10, track.info.begin() + 12);
  RipJob job(m_messenger, source);
  Run(job, {track, Track(2, "Fine")}, Settings());
  ASSERT_EQ(job.Failures().size(), 1u);
  EXPECT_EQ(job.Failures()[0].path, (m_out / "Scratched.wav").string());
  EXPECT_NE(job.Failures()[0].cause.find("3 sector(s)"), std::string::npos) << job.Failures()[0].cause;
  EXPECT_NE(job.Failures()[0].cause.find(std::to_string(track.info.begin() + 10)), std::string::npos);
  const auto file = ReadAll(m_out / "Scratched.wav");
  EXPECT_TRUE(std::all_of(file.begin() + 44 + 10 * 2352, file.begin() + 44 + 13 * 2352,
                          [](char c) { return c == 0; }));
  // Only those three: the sectors around them in the failed batch were read again one by one.
  const std::vector<char> clean = ReadAll(m_image.bin);
  const int32_t first = track.info.begin();
  EXPECT_TRUE(std::equal(file.begin() + 44, file.begin() + 44 + 10 * 2352, clean.begin() + first * 2352));
  EXPECT_TRUE(std::equal(file.begin() + 44 + 13 * 2352, file.end(), clean.begin() + (first + 13) * 2352));
  EXPECT_EQ(job.WrittenFiles(), std::vector<std::string>{(m_out / "Fine.wav").string()});
  // Batches of at least 24 sectors, and not one call per sector.
  EXPECT_GE(source.largest, 24);
  const int32_t sectors = track.info.length() + 1 + Track(2, "").info.length() + 1;
  EXPECT_LT(source.calls, sectors / 20 + 40);
}

// ---- Two encoders ----

// ffmpeg's PCM of a file; empty when it cannot decode it.
std::vector<char> Decoded(const std::filesystem::path& file) {
  const auto result =
      fixtures::RunCommand("ffmpeg -nostdin -v error -i " + fixtures::ShellQuote(file.string()) +
                           " -f s16le -acodec pcm_s16le - 2>/dev/null");
  if (result.status != 0) return {};
  return {result.out.begin(), result.out.end()};
}

// Tracks longer than a queue: the reader fills one before it goes on to the next track.
class TwoEncoderTest : public RipJobTest {
 protected:
  TwoEncoderTest() { m_layout.tracks = {{false, 2000, 0, {}}, {false, 1200, 0, {}}, {false, 900, 0, {}}}; }

  RipSettings TwoEncoders(OutputFormat format, bool replacePrompt = true) {
    RipSettings settings = Settings(replacePrompt);
    settings.encoderJobs = 2;
    settings.format = format;
    return settings;
  }
};

// The reader leaves a track only once its queue is full, so a stop early in the second track finds
// the first one in flight too: both end as valid files of what was read, and the third never starts.
TEST_F(TwoEncoderTest, AStopWithTwoTracksInFlightLeavesBothValidAndShorter) {
  RipJob job(m_messenger, *m_device);
  const RipTrack first = Track(1, "A"), second = Track(2, "B");
  m_messenger.onProgress = [&](const RipProgress& p) {
    if (p.trackSectors == second.info.length() && p.sectorIndex == 20) job.Cancel();
  };
  Run(job, {first, second, Track(3, "C")}, TwoEncoders(kFormatApe));

  EXPECT_FALSE(std::filesystem::exists(m_out / "C.ape"));
  EXPECT_EQ(job.WrittenFiles(),
            (std::vector<std::string>{(m_out / "A.ape").string(), (m_out / "B.ape").string()}));
  const std::vector<char> b = Decoded(m_out / "B.ape");
  EXPECT_TRUE(b == DiscBytes(second, 21));
  const std::vector<char> a = Decoded(m_out / "A.ape");
  ASSERT_EQ(a.size() % 2352, 0u);
  const int32_t aSectors = int32_t(a.size() / 2352);
  EXPECT_GT(aSectors, 21);
  EXPECT_LT(aSectors, first.info.length() + 1) << "the first track was read to its end";
  EXPECT_TRUE(a == DiscBytes(first, aSectors));
}

// A stop the moment a track's file exists: the file still gets the track's first sector, as a
// player opens no APE file without a frame.
TEST_F(TwoEncoderTest, AStopAsAFileIsCreatedLeavesItWithAudio) {
  RipJob job(m_messenger, *m_device);
  const RipTrack second = Track(2, "B");
  m_messenger.onName = [&](const std::string& name) {
    if (name == (m_out / "B.ape").string()) job.Cancel();
  };
  // One encoder: the file's name is sent as it is created.
  RipSettings settings = Settings();
  settings.format = kFormatApe;
  Run(job, {Track(1, "A"), second}, settings);
  EXPECT_TRUE(Decoded(m_out / "B.ape") == DiscBytes(second, 1));
}

// A file that cannot be written fails alone: the track beside it is whole, and every sector is read.
// A file-size limit for this process that lets writes fail with EFBIG instead of a signal;
// the old limit and action come back at the end of the scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldAction = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    ::signal(SIGXFSZ, m_oldAction);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  sighandler_t m_oldAction;
};

TEST_F(TwoEncoderTest, AWriteFailureInOneEncoderLeavesTheOtherTrackWhole) {
  RipJob job(m_messenger, *m_device);
  const RipTrack full = Track(1, "Full"), fine = Track(2, "Fine");
  {
    // Between the two files' sizes: the longer track's writes fail, the shorter one's do not.
    FileSizeLimit limit(44 + 2352 * 1600);
    Run(job, {full, fine}, TwoEncoders(kFormatWave, false));
  }
  ASSERT_EQ(job.Failures().size(), 1u);
  EXPECT_EQ(job.Failures()[0].path, (m_out / "Full.wav").string());
  EXPECT_NE(job.Failures()[0].cause.find("File too large"), std::string::npos) << job.Failures()[0].cause;
  // The failed file is gone, not left under its name or a temporary one.
  EXPECT_FALSE(std::filesystem::exists(m_out / "Full.wav"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_out), {}), 1);
  EXPECT_EQ(job.WrittenFiles(), std::vector<std::string>{(m_out / "Fine.wav").string()});
  const auto file = ReadAll(m_out / "Fine.wav");
  const auto disc = DiscBytes(fine);
  ASSERT_EQ(file.size(), 44 + disc.size());
  EXPECT_TRUE(std::equal(disc.begin(), disc.end(), file.begin() + 44));
  EXPECT_EQ(job.DoneSectors(), job.TotalSectors() + 2);
}

// The overwrite question for the next track comes while the first one is still being encoded, and
// that encoder goes on while the question is open: the process keeps using CPU time while the only
// thread that reads waits for the answer.
TEST_F(TwoEncoderTest, TheOverwriteQuestionWaitsForNoEncoder) {
  std::ofstream(m_out / "B.ape") << "old";
  RipJob job(m_messenger, *m_device);
  const RipTrack first = Track(1, "A"), second = Track(2, "B");
  const auto cpuSeconds = [] {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
  };
  double encodedMeanwhile = 0;
  RipStatus atQuestion;
  m_messenger.answerOverwrite = [&](const std::string&) {
    atQuestion = job.Status();
    const double before = cpuSeconds();
    const auto until = std::chrono::steady_clock::now() + fixtures::Scaled(std::chrono::seconds(20));
    while (encodedMeanwhile < 0.03 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      encodedMeanwhile = cpuSeconds() - before;
    }
    return kOverwriteYes;
  };
  Run(job, {first, second}, TwoEncoders(kFormatApe));
  EXPECT_EQ(m_messenger.asked, std::vector<std::string>{(m_out / "B.ape").string()});
  EXPECT_EQ(atQuestion.track, 0);
  EXPECT_LT(atQuestion.sectorIndex, atQuestion.trackSectors) << "the first track was read to its end first";
  EXPECT_GE(encodedMeanwhile, 0.03) << "no encoder worked while the question was open";
  EXPECT_TRUE(Decoded(m_out / "A.ape") == DiscBytes(first));
  EXPECT_TRUE(Decoded(m_out / "B.ape") == DiscBytes(second));
  EXPECT_TRUE(job.Failures().empty());
}

TEST_F(RipJobTest, FormatsWithoutAWriterAreRefused) {
  RipJob job(m_messenger, *m_device);
  RipSettings settings = Settings();
  settings.format = OutputFormat(7);
  EXPECT_FALSE(job.Start({Track(1, "A")}, settings));
  EXPECT_FALSE(job.IsRunning());
  EXPECT_TRUE(m_messenger.messages.empty());
}

}  // namespace
}  // namespace korvi
