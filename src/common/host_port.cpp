#include "common/host_port.h"

namespace korvi {

std::optional<HostPort> ParseHostPort(std::string_view text, int defaultPort) {
  HostPort parsed{std::string(text.substr(0, text.find(':'))), defaultPort};
  if (parsed.host.empty()) return std::nullopt;
  if (parsed.host.size() == text.size()) return parsed;
  const std::string_view port = text.substr(parsed.host.size() + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  parsed.port = value;
  return parsed;
}

}  // namespace korvi
