#pragma once
// The commands of the menu, the keys and the toolbar, described once, and when each is enabled.

#include <span>
#include <string>

#include "formats/output_format.h"

namespace korvi {

enum CommandId : int {
  ID_SELECT_ALL = 134,
  ID_SELECT_NONE = 135,
  ID_GET_CD_INFO = 136,
  ID_RIPPING = 138,
  ID_SETTINGS = 139,
  ID_HELP = 155,
  ID_EDIT_TRACK = 159,
  ID_PLAY = 32778,
  ID_STOP = 32779,
  ID_REFRESH = 32780,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
};

// Each format's File menu command has the id its row in the format table gives it.
inline const int ID_RIP_WAV = FindOutputFormat(kFormatWave)->menuCommand;
inline const int ID_RIP_MP3 = FindOutputFormat(kFormatMp3)->menuCommand;
inline const int ID_RIP_APE = FindOutputFormat(kFormatApe)->menuCommand;
inline const int ID_RIP_FLAC = FindOutputFormat(kFormatFlac)->menuCommand;
inline const int ID_RIP_OPUS = FindOutputFormat(kFormatOpus)->menuCommand;

enum class Menu { File, View, Help };

struct CommandInfo {
  int id;  // 0 for a separator
  Menu menu;
  const char* text;     // menu text; after a tab, the key as the menu shows it
  const char* key;      // QKeySequence text, or null
  const char* prompt;   // status-bar prompt
  const char* tip;      // tool tip, or null for menu-only commands
  int toolbarPosition;  // 1-based, 0 when not on the toolbar
};

// In menu order, separators included; the formats' commands come from the format table.
std::span<const CommandInfo> Commands();
const CommandInfo* FindCommand(int id);
// The status-bar prompt; the lookup's names the CDDB server it asks.
std::string CommandPrompt(const CommandInfo& command);

// What the enabling rules look at.
struct CommandState {
  bool ripping = false;
  bool playing = false;
  int itemCount = 0;
  int selectedCount = 0;
};

bool CommandEnabled(int id, const CommandState& state);

}  // namespace korvi
