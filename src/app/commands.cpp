#include "app/commands.h"

#include "cddb/cddb_server.h"

namespace korvi {
namespace {

constexpr CommandInfo kCommands[] = {
    {ID_RIPPING, Menu::File, "&Ripping ...\tCtrl+R", "Ctrl+R",
     "Ripping selected track(s) to media file, type is specified by each track", "Ripping ...", 1},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_RIP_WAV, Menu::File, "Ripping &WAV files", nullptr, "Ripping selected track(s) to WAV file", nullptr,
     0},
    {ID_RIP_MP3, Menu::File, "Ripping &MP3 files", nullptr, "Ripping selected track(s) to MP3 file", nullptr,
     0},
    {ID_RIP_APE, Menu::File, "Ripping &APE files", nullptr, "Ripping selected track(s) to APE file", nullptr,
     0},
    {ID_RIP_FLAC, Menu::File, "Ripping &FLAC files", nullptr, "Ripping selected track(s) to FLAC file",
     nullptr, 0},
    {ID_RIP_OPUS, Menu::File, "Ripping &Opus files", nullptr, "Ripping selected track(s) to Opus file",
     nullptr, 0},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_SELECT_ALL, Menu::File, "&Select All Track(s)", nullptr, "Select all track(s)", "Select All", 2},
    {ID_SELECT_NONE, Menu::File, "S&elect None", nullptr, "Don't select any track", "Select None", 3},
    {ID_EDIT_TRACK, Menu::File, "&Edit Track\tDouble Click", nullptr, "Show the edit dialog for track name",
     nullptr, 0},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_PLAY, Menu::File, "&Play\tCtrl+P", "Ctrl+P", "Play selected track", "Play", 5},
    {ID_STOP, Menu::File, "St&op\tCtrl+S", "Ctrl+S", "Stop current playing", "Stop", 6},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_GET_CD_INFO, Menu::File, "&Get Audio CD Info ...\tCtrl+I", "Ctrl+I", "Get Audio CD info from ",
     "Audio CD Info ...", 4},
    {ID_REFRESH, Menu::File, "Re&fresh", nullptr, "Refresh CDROM", "Refresh", 7},
    {ID_SETTINGS, Menu::File, "Se&ttings", nullptr, "Show program settings", "Settings", 8},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_APP_EXIT, Menu::File, "E&xit\tCtrl+X", "Ctrl+X", "Quit Korvi CD Ripping", nullptr, 0},
    {ID_VIEW_TOOLBAR, Menu::View, "&Tool Bar", nullptr, "Show or hide the toolbar", "Toggle ToolBar", 0},
    {ID_VIEW_STATUS_BAR, Menu::View, "&Status Bar", nullptr, "Show or hide the status bar",
     "Toggle StatusBar", 0},
    {ID_HELP, Menu::Help, "&Help\tF1", "F1", "Show help topic", "Help", 9},
    {0, Menu::Help, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_APP_ABOUT, Menu::Help, "&About ...", nullptr,
     "Display program information, version number and copyright", "About", 0},
};

}  // namespace

std::span<const CommandInfo> Commands() { return kCommands; }

std::string CommandPrompt(const CommandInfo& command) {
  std::string prompt = command.prompt ? command.prompt : "";
  if (command.id == ID_GET_CD_INFO) prompt += CddbServerInUse();
  return prompt;
}

const CommandInfo* FindCommand(int id) {
  for (const CommandInfo& command : kCommands)
    if (command.id == id && id != 0) return &command;
  return nullptr;
}

bool CommandEnabled(int id, const CommandState& s) {
  const bool hasItems = s.itemCount > 0;
  switch (id) {
    case ID_APP_EXIT:
    case ID_SETTINGS:
    case ID_REFRESH:
      return !s.ripping;
    case ID_STOP:
      return s.playing;
    case ID_SELECT_ALL:
    case ID_SELECT_NONE:
    case ID_GET_CD_INFO:
      return !s.ripping && hasItems;
    case ID_RIPPING:
    case ID_RIP_WAV:
    case ID_RIP_MP3:
    case ID_RIP_APE:
    case ID_RIP_FLAC:
    case ID_RIP_OPUS:
      return !s.ripping && hasItems && !s.playing;
    case ID_PLAY:
      return !s.ripping && hasItems && !s.playing && s.selectedCount > 0;
    case ID_EDIT_TRACK:
      return s.selectedCount > 0 && !s.ripping;
    case ID_HELP:
    case ID_APP_ABOUT:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
      return true;
    default:
      return false;
  }
}

}  // namespace korvi
