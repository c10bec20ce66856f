// korvi-cli: the ripper's core for scripts.

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: korvi-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  drives        list the drives: real drives, then the images in KORVI_CD_IMAGES\n"
    "  toc DRIVE [--cdtext]\n"
    "                list the disc's audio tracks (name, length, begin, end; tab-separated)\n"
    "                and its CDDB disc id; --cdtext adds the disc's CD-Text, one field a line\n"
    "  rip DRIVE --format wav|mp3|ape|flac|opus [--out DIR] [--tracks 1,3-5] [--bitrate N]\n"
    "      [--level N] [--flac-level N] [--opus-bitrate N] [--no-id3]\n"
    "      [--on-exists ask|overwrite|skip] [--jobs N] [--mode secure|burst] [--offset N]\n"
    "      [--test-and-copy] [--lookup [--library DIR]] [--pick N]\n"
    "                rip the listed tracks (all by default) into DIR (your output folder by\n"
    "                default); prints each file written; --jobs: tracks encoded at once\n"
    "                (0: one per core); --mode: secure verifies every sector (a drive's\n"
    "                default), burst reads once (an image's); --offset: the drive's read\n"
    "                offset in samples; --test-and-copy: read each track twice and compare;\n"
    "                --flac-level: 0 (fastest) to 8 (smallest), 5 by default;\n"
    "                --opus-bitrate: 64 to 256 kbit/s, 160 by default\n"
    "  play DRIVE TRACK\n"
    "                play a track (counted from 1) through the sound server, its position on\n"
    "                stderr; Ctrl+C stops it\n"
    "  xmcd FILE     parse a CDDB entry (xmcd format); print the record as one JSON object\n"
    "  lookup DRIVE [--library DIR] [--no-save] [--pick N]\n"
    "                the disc's album title, artist and track titles, one per line, from the\n"
    "                library or the sources of your lookup order (MusicBrainz, CDDB, CD-Text;\n"
    "                KORVI_MUSICBRAINZ_SERVER=http://host:port and KORVI_CDDB_SERVER=host[:port]\n"
    "                name other servers); several releases are listed on stderr and the first\n"
    "                is taken, or the N-th with --pick N\n"
    "  verify DRIVE DIR [--library DIR]\n"
    "                check the WAV files of an earlier rip of the disc in DIR (named after the\n"
    "                library's titles, or \"Track N.wav\") against AccurateRip, one line a track;\n"
    "                exit 1 unless every track is accurate (KORVI_ACCURATERIP_SERVER=host:port\n"
    "                names another database)\n"
    "\n"
    "DRIVE is a device path such as /dev/sr0 or a disc image (.cue, .toc, .nrg).\n"
    "Exit status: 0 success, 1 the disc could not be read, a file failed or a verified track is\n"
    "not accurate, 2 usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit, write() then fails with EFBIG and the file is reported as failed,
  // instead of the signal ending the whole rip.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return korvi::cli::kExitUsage;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return korvi::cli::kExitOk;
  }
  if (command == "drives") return korvi::cli::Drives(args, std::cout, std::cerr);
  if (command == "toc") return korvi::cli::Toc(args, std::cout, std::cerr);
  if (command == "rip") return korvi::cli::Rip(args, std::cout, std::cerr);
  if (command == "play") return korvi::cli::Play(args, std::cout, std::cerr);
  if (command == "xmcd") return korvi::cli::Xmcd(args, std::cout, std::cerr);
  if (command == "lookup") return korvi::cli::Lookup(args, std::cout, std::cerr);
  if (command == "verify") return korvi::cli::Verify(args, std::cout, std::cerr);
  std::cerr << "korvi-cli: unknown command '" << command << "'\n" << kUsage;
  return korvi::cli::kExitUsage;
}
