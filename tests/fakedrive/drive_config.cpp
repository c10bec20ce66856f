#include "fakedrive/drive_config.h"

#include <cstdlib>

namespace korvi::fakedrive {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= text.size()) {
    size_t to = text.find(separator, from);
    if (to == std::string::npos) to = text.size();
    if (to > from) parts.push_back(text.substr(from, to - from));
    from = to + 1;
  }
  return parts;
}

bool ParseInt(const std::string& text, int32_t& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < -1000000000L || value > 1000000000L) return false;
  out = int32_t(value);
  return true;
}

// A decimal number such as "0.5" or "40", not negative; read without the locale, which the
// program may have set to one with a decimal comma by the time the list is read.
bool ParseDecimal(const std::string& text, double& out) {
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  if (whole.empty() || whole.size() > 6 || fraction.size() > 6) return false;
  double value = 0;
  for (const char c : whole + fraction) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  for (size_t i = 0; i < fraction.size(); ++i) value /= 10;
  out = value;
  return true;
}

bool ParseRange(const std::string& text, SectorRange& out) {
  const size_t dash = text.find('-', 1);
  if (dash == std::string::npos) return ParseInt(text, out.first) && ParseInt(text, out.last);
  return ParseInt(text.substr(0, dash), out.first) && ParseInt(text.substr(dash + 1), out.last) &&
         out.first <= out.last;
}

bool ApplyBehaviour(const std::string& item, DriveConfig& drive) {
  const size_t equals = item.find('=');
  const std::string key = item.substr(0, equals);
  const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
  if (key == "offset") return ParseInt(value, drive.offsetSamples);
  if (key == "latency_ms") {
    double ms = 0;
    return ParseDecimal(value, ms) && (drive.latencyUs = int(ms * 1000 + 0.5), true);
  }
  if (key == "speed") return ParseDecimal(value, drive.speed) && drive.speed > 0;
  if (item == "c2") return drive.c2 = true;
  if (key == "vendor") return drive.vendor = value, true;
  if (key == "model") return drive.model = value, true;
  if (key == "revision") return drive.revision = value, true;
  if (item == "tray=open") return drive.trayOpen = true;
  if (item == "nodisc") return drive.noDisc = true;
  if (key == "open_after") return ParseInt(value, drive.openAfter) && drive.openAfter >= 0;
  if (key == "change_after") return ParseInt(value, drive.changeAfter) && drive.changeAfter >= 0;
  if (key == "change_to") return drive.changeTo = value, !value.empty();
  if (key == "state") return drive.stateFile = value, !value.empty();
  if (key == "cache") return ParseInt(value, drive.cacheSectors) && drive.cacheSectors >= 0;
  if (key == "bad" || key == "flaky" || key == "jitter") {
    SectorRange range;
    if (!ParseRange(value, range)) return false;
    (key == "bad" ? drive.bad : key == "flaky" ? drive.flaky : drive.jitter).push_back(range);
    return true;
  }
  return false;
}

}  // namespace

std::vector<DriveConfig> ParseDriveList(const std::string& text, std::string* error) {
  std::vector<DriveConfig> drives;
  for (const std::string& entry : Split(text, ';')) {
    const std::vector<std::string> items = Split(entry, ',');
    const size_t equals = items.empty() ? std::string::npos : items[0].find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == items[0].size()) {
      if (error) *error = "not DEVICE=IMAGE: " + entry;
      return {};
    }
    DriveConfig drive;
    drive.device = items[0].substr(0, equals);
    drive.image = items[0].substr(equals + 1);
    for (size_t i = 1; i < items.size(); ++i) {
      if (!ApplyBehaviour(items[i], drive)) {
        if (error) *error = "unknown behaviour '" + items[i] + "' for " + drive.device;
        return {};
      }
    }
    drives.push_back(std::move(drive));
  }
  return drives;
}

}  // namespace korvi::fakedrive
