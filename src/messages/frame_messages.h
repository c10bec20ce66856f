#pragma once
// The frame's own notifications: what workers and child windows tell the main window.

#include <cstdint>

namespace korvi {

constexpr unsigned WM_USER = 0x0400;

enum FrameMessage : unsigned {
  WM_READ_TOC = WM_USER + 100,           // send; l: CdDevice*; result -1 when the read fails
  WM_RIP_STARTED = WM_USER + 101,        // post
  WM_RIP_FINISHED = WM_USER + 102,       // post
  WM_RIP_PROGRESS = WM_USER + 103,       // send; l: const RipProgress*
  WM_RIP_FILE_NAME = WM_USER + 104,      // send; l: const char* path
  WM_RIP_SUSPEND = WM_USER + 105,        // post
  WM_RIP_RESUME = WM_USER + 106,         // post
  WM_RIP_CANCEL = WM_USER + 107,         // post
  WM_PLAY_BUFFER_DONE = WM_USER + 108,   // send
  WM_PLAY_START = WM_USER + 109,         // post
  WM_PLAY_STOP = WM_USER + 110,          // post
  WM_GET_PLAY_POSITION = WM_USER + 113,  // send; l: PlayPosition*
  WM_SET_STATUS_TEXT = WM_USER + 114,    // send; l: const char* text
  WM_SET_DRIVE_NAME = WM_USER + 116,     // send; l: const char* drive name (null: empty)
  WM_ASK_OVERWRITE = WM_USER + 118,      // send; w: const char* path; l: OverwriteChoice* answer
};

// The answer to WM_ASK_OVERWRITE.
enum OverwriteChoice : int32_t {
  kOverwriteYes = 0,
  kOverwriteNo = 1,
  kOverwriteYesToAll = 2,
  kOverwriteNoToAll = 3,
};

}  // namespace korvi
