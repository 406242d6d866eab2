// Every command of the menus, toolbar and accelerators, defined once: id, caption,
// shortcuts, status text, toolbar icon, handler and enable/check rules. The main frame
// turns each into one QAction and re-runs the rules whenever what they read changes.
#pragma once

#include <span>

namespace zr {

class CMainFrame;

enum CommandId : int {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_IMPORT_IMAGES = 32771,
  ID_ATTACH_SOUND = 32774,
  ID_CREATE_AVI = 32773,
  ID_EXPORT = 32795,
  ID_QUICK_AVI = 32785,
  ID_EXTRACT_IMAGES = 32781,
  ID_EXTRACT_SOUNDS = 147,
  ID_MERGE = 32783,
  ID_MPG_CONVERTER = 32787,
  ID_FILE_MRU_FIRST = 57616,
  ID_APP_EXIT = 57665,
  ID_EDIT_CUT = 57635,
  ID_EDIT_COPY = 57634,
  ID_EDIT_PASTE = 57637,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  ID_AVI_SETTINGS = 32777,
  ID_LOGO = 32782,
  ID_SCREEN_COLOR = 32779,
  ID_FRAME_IMAGES = 32780,
  ID_MORPHING = 32784,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
  ID_VIEW_ANIMATION = 32772,
  ID_VIEW_ZOOM_FIT = 32800,
  ID_VIEW_ACTUAL_SIZE = 32801,
  ID_VIEW_ZOOM_IN = 32802,
  ID_VIEW_ZOOM_OUT = 32803,
  ID_VIEW_THUMBNAILS = 32804,
  ID_HELP_MANUAL = 32775,
  ID_HELP_TROUBLESHOOTING = 32786,
  ID_HELP_WEB_TUTORIAL = 32789,
  ID_HELP_WEB_SITE = 32790,
  ID_HELP_MAILING_LIST = 33112,
  ID_HELP_DISCUSSION = 33113,
  ID_HELP_NEWS = 33114,
  ID_HELP_MAIL = 33105,
  ID_APP_ABOUT = 57664,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
};

enum class CommandIcon {
  None, New, Open, Save, Import, Sound, CreateAvi, ViewAnimation, Merge, Extract,
  Cut, Copy, Paste, Help, About, ZoomFit, ZoomActual, ZoomIn, ZoomOut, Undo, Redo,
};

struct CommandSpec {
  using Handler = void (CMainFrame::*)();
  using Rule = bool (CMainFrame::*)() const;

  int id;
  const char* caption;     // menu text with its '&' mnemonic
  const char* shortcuts;   // ';'-separated key sequences, "" for none
  const char* statusText;  // fly-by help in the status bar and tooltip (before '\n')
  CommandIcon icon;
  Handler run;
  Rule enabled = nullptr;  // null: always enabled
  Rule checked = nullptr;  // null: not a check item
};

// The table itself is CMainFrame::CommandTable() (commands.cpp): its handlers are the
// frame's own members.
std::span<const CommandSpec> Commands();
const CommandSpec* FindCommand(int id);

// Menus: command ids with 0 for a separator and ID_FILE_MRU_FIRST for the recent files.
struct MenuSpec {
  const char* title;
  std::span<const int> items;
};
std::span<const MenuSpec> Menus();
// The toolbar: command ids, 0 for a separator.
std::span<const int> ToolbarCommands();

}  // namespace zr
