#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "disc/cd_text.h"

namespace korvi::fakedrive {

// CRC-16 over a pack's first 16 bytes as CD-Text stores it: polynomial x^16+x^12+x^5+1, from 0,
// inverted.
uint16_t CdTextCrc(const uint8_t* bytes, size_t count);

// The disc's CD-Text as the lead-in carries it and READ TOC format 5 returns it: 18-byte packs of
// one block (English, ISO 8859-1) with the titles, performers and songwriters of the disc and of
// tracks firstTrack to lastTrack, then the three size-information packs. Empty when the text has
// none of those fields.
std::vector<uint8_t> CdTextPacks(const DiscText& text, int firstTrack, int lastTrack);

}  // namespace korvi::fakedrive
