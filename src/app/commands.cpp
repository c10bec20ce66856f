#include "app/commands.h"

#include <QtGlobal>
#include <algorithm>
#include <iterator>
#include <vector>

#include "cddb/cddb_server.h"

namespace korvi {
namespace {

// The texts are English and translated where they are shown, in the context "Commands".
constexpr CommandInfo kCommands[] = {
    {ID_RIPPING, Menu::File, QT_TRANSLATE_NOOP("Commands", "&Ripping ...\tCtrl+R"), "Ctrl+R",
     QT_TRANSLATE_NOOP("Commands",
                       "Ripping selected track(s) to media file, type is specified by each track"),
     QT_TRANSLATE_NOOP("Commands", "Ripping ..."), 1},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    // Here the formats' commands, one per row of the format table.
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_SELECT_ALL, Menu::File, QT_TRANSLATE_NOOP("Commands", "&Select All Track(s)"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Select all track(s)"), QT_TRANSLATE_NOOP("Commands", "Select All"), 2},
    {ID_SELECT_NONE, Menu::File, QT_TRANSLATE_NOOP("Commands", "S&elect None"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Don't select any track"), QT_TRANSLATE_NOOP("Commands", "Select None"),
     3},
    {ID_EDIT_TRACK, Menu::File, QT_TRANSLATE_NOOP("Commands", "&Edit Track\tDouble Click"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Show the edit dialog for track name"), nullptr, 0},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_PLAY, Menu::File, QT_TRANSLATE_NOOP("Commands", "&Play\tCtrl+P"), "Ctrl+P",
     QT_TRANSLATE_NOOP("Commands", "Play selected track"), QT_TRANSLATE_NOOP("Commands", "Play"), 5},
    {ID_STOP, Menu::File, QT_TRANSLATE_NOOP("Commands", "St&op\tCtrl+S"), "Ctrl+S",
     QT_TRANSLATE_NOOP("Commands", "Stop current playing"), QT_TRANSLATE_NOOP("Commands", "Stop"), 6},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_GET_CD_INFO, Menu::File, QT_TRANSLATE_NOOP("Commands", "&Get Audio CD Info ...\tCtrl+I"), "Ctrl+I",
     QT_TRANSLATE_NOOP("Commands", "Get Audio CD info from "),
     QT_TRANSLATE_NOOP("Commands", "Audio CD Info ..."), 4},
    {ID_REFRESH, Menu::File, QT_TRANSLATE_NOOP("Commands", "Re&fresh"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Refresh CDROM"), QT_TRANSLATE_NOOP("Commands", "Refresh"), 7},
    {ID_SETTINGS, Menu::File, QT_TRANSLATE_NOOP("Commands", "Se&ttings"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Show program settings"), QT_TRANSLATE_NOOP("Commands", "Settings"), 8},
    {0, Menu::File, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_APP_EXIT, Menu::File, QT_TRANSLATE_NOOP("Commands", "E&xit\tCtrl+X"), "Ctrl+X",
     QT_TRANSLATE_NOOP("Commands", "Quit Korvi CD Ripping"), nullptr, 0},
    {ID_VIEW_TOOLBAR, Menu::View, QT_TRANSLATE_NOOP("Commands", "&Tool Bar"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Show or hide the toolbar"),
     QT_TRANSLATE_NOOP("Commands", "Toggle ToolBar"), 0},
    {ID_VIEW_STATUS_BAR, Menu::View, QT_TRANSLATE_NOOP("Commands", "&Status Bar"), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Show or hide the status bar"),
     QT_TRANSLATE_NOOP("Commands", "Toggle StatusBar"), 0},
    {ID_HELP, Menu::Help, QT_TRANSLATE_NOOP("Commands", "&Help\tF1"), "F1",
     QT_TRANSLATE_NOOP("Commands", "Show help topic"), QT_TRANSLATE_NOOP("Commands", "Help"), 9},
    {0, Menu::Help, nullptr, nullptr, nullptr, nullptr, 0},
    {ID_APP_ABOUT, Menu::Help, QT_TRANSLATE_NOOP("Commands", "&About ..."), nullptr,
     QT_TRANSLATE_NOOP("Commands", "Display program information, version number and copyright"),
     QT_TRANSLATE_NOOP("Commands", "About"), 0},
};

// The list above with the formats' commands after the first separator.
std::vector<CommandInfo> BuildCommands() {
  std::vector<CommandInfo> commands(std::begin(kCommands), std::end(kCommands));
  const auto formatsAt = std::find_if(commands.begin(), commands.end(), [](const CommandInfo& c) { return !c.id; }) + 1;
  std::vector<CommandInfo> formats;
  for (const OutputFormatInfo& format : OutputFormats())
    formats.push_back({format.menuCommand, Menu::File, format.menuText, nullptr, format.menuPrompt, nullptr, 0});
  commands.insert(formatsAt, formats.begin(), formats.end());
  return commands;
}

}  // namespace

std::span<const CommandInfo> Commands() {
  static const std::vector<CommandInfo> commands = BuildCommands();
  return commands;
}

std::string CommandPrompt(const CommandInfo& command) {
  std::string prompt = command.prompt ? command.prompt : "";
  if (command.id == ID_GET_CD_INFO) prompt += CddbServerInUse();
  return prompt;
}

const CommandInfo* FindCommand(int id) {
  for (const CommandInfo& command : Commands())
    if (command.id == id && id != 0) return &command;
  return nullptr;
}

bool CommandEnabled(int id, const CommandState& s) {
  const bool hasItems = s.itemCount > 0;
  if (FindFormatByCommand(id)) return !s.ripping && hasItems && !s.playing;
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
