#pragma once
// The command-line tool's commands. Each returns the process's exit status.

#include <iosfwd>
#include <string>
#include <vector>

#include <optional>

#include "verify/accuraterip_ids.h"

namespace korvi {
class CdDevice;
class TrackRowTable;
}

namespace korvi::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Toc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Rip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Play(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Xmcd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Lookup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Drive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Offset(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Reads the disc's table of contents into disc and rows, and its AccurateRip ids; nullopt, said on
// err, for a disc that cannot be read or has no audio track.
std::optional<AccurateRipIds> ReadAudioDisc(CdDevice& device, DiscToc& disc, TrackRowTable& rows, std::ostream& err);

// For a track number that none of the disc's rowCount rows lists: "the disc has no audio track 2;
// it lists audio tracks 4 to 6".
std::string NoListedTrackText(int number, const DiscToc& disc, int rowCount);

}  // namespace korvi::cli
