#include "gui/commands.h"

#include <array>

namespace zr {

namespace {

using I = CommandIcon;

constexpr CommandSpec kCommands[] = {
    {ID_FILE_NEW, "&New AVI Project", "Ctrl+N", "Create a new animation project\nNew", I::New, false},
    {ID_FILE_OPEN, "&Open AVI Project...", "Ctrl+O", "Open an existing animation project\nOpen", I::Open, false},
    {ID_FILE_SAVE, "&Save AVI Project", "Ctrl+S", "Save the animation project\nSave", I::Save, false},
    {ID_FILE_SAVE_AS, "Save AVI Project &As...", "", "Save the animation project with a new name\nSave As", I::None, false},
    {ID_IMPORT_IMAGES, "Step 1: &Import Images...", "", "Import images\nImport Images", I::Import, false},
    {ID_ATTACH_SOUND, "Step 2: Attach S&ound File...", "", "Attach a WAV sound file to the animation\nAttach Sound", I::Sound, false},
    {ID_CREATE_AVI, "Step 3: Create &AVI File...", "", "Create an AVI file from the frame list\nCreate AVI", I::CreateAvi, false},
    {ID_EXPORT, "Ex&port...", "", "Export the animation as MP4, WebM, GIF, WebP or APNG\nExport", I::None, false},
    {ID_QUICK_AVI, "&Quick AVI Create...", "", "Create AVI out of numbered images\nQuick AVI Create", I::None, false},
    {ID_EXTRACT_IMAGES, "&Extract Images from AVI...", "", "Save the frames of an AVI file as images\nExtract Images", I::Extract, false},
    {ID_EXTRACT_SOUNDS, "Extract So&unds from AVI...", "", "Save the sound of an AVI file as a WAV file\nExtract Sounds", I::None, false},
    {ID_MERGE, "&Merge AVI with AVI/WAV...", "", "Merge an AVI file with the sound of an AVI, MIDI or WAV file\nMerge", I::Merge, false},
    {ID_MPG_CONVERTER, "AVI -> MP&G Converter...", "", "Converts AVI files into MPG files\nAVI to MPG", I::None, false},
    {ID_APP_EXIT, "E&xit", "", "Quit the application\nExit", I::None, false},
    {ID_EDIT_CUT, "Cu&t", "Ctrl+X;Shift+Del", "Cut the current image to the clipboard\nCut", I::Cut, false},
    {ID_EDIT_COPY, "&Copy", "Ctrl+C;Ctrl+Ins", "Copy the current image to the clipboard\nCopy", I::Copy, false},
    {ID_EDIT_PASTE, "&Paste", "Ctrl+V;Shift+Ins", "Paste the clipboard image as a new frame\nPaste", I::Paste, false},
    {ID_EDIT_UNDO, "&Undo", "Ctrl+Z;Alt+Backspace", "Undo the last change of the project\nUndo", I::Undo, false},
    {ID_EDIT_REDO, "&Redo", "Ctrl+Shift+Z;Ctrl+Y", "Redo the change just undone\nRedo", I::Redo, false},
    {ID_AVI_SETTINGS, "&AVI Settings...", "", "Choose the video compressor for new AVI files\nAVI Settings", I::None, false},
    {ID_LOGO, "&Logo...", "", "Choose the logo stamped on every frame\nLogo", I::None, false},
    {ID_SCREEN_COLOR, "&Screen Color...", "", "Choose the background colour of the view\nScreen Color", I::None, false},
    {ID_FRAME_IMAGES, "&Frame Images", "", "Draw a frame around the shown image\nFrame Images", I::None, true},
    {ID_MORPHING, "&Morphing...", "", "Fade one image into another\nMorphing", I::None, false},
    {ID_VIEW_TOOLBAR, "&Toolbar", "", "Show or hide the toolbar\nToggle Toolbar", I::None, true},
    {ID_VIEW_STATUS_BAR, "&Status Bar", "", "Show or hide the status bar\nToggle Status Bar", I::None, true},
    {ID_VIEW_ANIMATION, "&View Animation...", "", "View an AVI file\nView Animation", I::ViewAnimation, false},
    {ID_VIEW_ZOOM_FIT, "Zoom to &Fit", "Ctrl+0", "Shrink large images to fit the view\nZoom to Fit", I::ZoomFit, true},
    {ID_VIEW_ACTUAL_SIZE, "&Actual Size", "Ctrl+1", "Show the image at its actual size\nActual Size", I::ZoomActual, false},
    {ID_VIEW_ZOOM_IN, "Zoom &In", "Ctrl++;Ctrl+=", "Show the image larger\nZoom In", I::ZoomIn, false},
    {ID_VIEW_ZOOM_OUT, "Zoom &Out", "Ctrl+-", "Show the image smaller\nZoom Out", I::ZoomOut, false},
    {ID_VIEW_THUMBNAILS, "T&humbnails", "", "Show a small picture of each image in the frame list\nThumbnails", I::None, true},
    {ID_HELP_MANUAL, "On-line &Manual...", "", "Open the manual\nManual", I::Help, false},
    {ID_HELP_TROUBLESHOOTING, "&Troubleshooting", "", "What to do when something goes wrong\nTroubleshooting", I::None, false},
    {ID_HELP_WEB_TUTORIAL, "Adding Animations and Videos to &Web Pages...", "", "How to put animations and videos on web pages\nWeb Pages", I::None, false},
    {ID_HELP_WEB_SITE, "Wombrel Zerarive &Web site...", "", "Open the program's web site\nWeb Site", I::None, false},
    {ID_HELP_MAILING_LIST, "Join the Mailing &List...", "", "Hear about new versions\nMailing List", I::None, false},
    {ID_HELP_DISCUSSION, "&Discussion Board...", "", "Ask and answer questions about the program\nDiscussion Board", I::None, false},
    {ID_HELP_NEWS, "What's &New...", "", "Read about the latest version\nWhat's New", I::None, false},
    {ID_HELP_MAIL, "Send &Feedback...", "", "Write to the program's makers\nFeedback", I::None, false},
    {ID_APP_ABOUT, "&About Wombrel Zerarive...", "", "Display program information, version number and copyright\nAbout", I::About, false},
    {ID_NEXT_PANE, "Next Pane", "F6", "Switch to the next window pane\nNext Pane", I::None, false},
    {ID_PREV_PANE, "Previous Pane", "Shift+F6", "Switch back to the previous window pane\nPrevious Pane", I::None, false},
};

constexpr int kFileMenu[] = {ID_FILE_NEW,       ID_FILE_OPEN,      ID_FILE_SAVE,      ID_FILE_SAVE_AS,
                             0,                 ID_IMPORT_IMAGES,  ID_ATTACH_SOUND,   ID_CREATE_AVI,
                             ID_EXPORT,         0,                 ID_QUICK_AVI,      ID_EXTRACT_IMAGES,
                             ID_EXTRACT_SOUNDS, ID_MERGE,          0,                 ID_MPG_CONVERTER,
                             0,                 ID_FILE_MRU_FIRST, 0,                 ID_APP_EXIT};
constexpr int kEditMenu[] = {ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE};
constexpr int kOptionsMenu[] = {ID_AVI_SETTINGS, ID_LOGO, ID_SCREEN_COLOR, ID_FRAME_IMAGES};
constexpr int kEffectsMenu[] = {ID_MORPHING};
constexpr int kViewMenu[] = {ID_VIEW_TOOLBAR,  ID_VIEW_STATUS_BAR, ID_VIEW_THUMBNAILS, 0,
                             ID_VIEW_ZOOM_FIT, ID_VIEW_ACTUAL_SIZE, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT,
                             0,                ID_VIEW_ANIMATION};
constexpr int kHelpMenu[] = {ID_HELP_MANUAL,      ID_HELP_TROUBLESHOOTING, ID_HELP_WEB_TUTORIAL, 0,
                             ID_HELP_WEB_SITE,    0,                       ID_HELP_MAILING_LIST,
                             ID_HELP_DISCUSSION,  ID_HELP_NEWS,            ID_HELP_MAIL,
                             0,                   ID_APP_ABOUT};

constexpr MenuSpec kMenus[] = {
    {"&File", kFileMenu},     {"&Edit", kEditMenu},       {"&Options", kOptionsMenu},
    {"&Effects", kEffectsMenu}, {"&View", kViewMenu},     {"&Help", kHelpMenu},
};

constexpr int kToolbar[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_IMPORT_IMAGES,
                            ID_ATTACH_SOUND, ID_CREATE_AVI, 0, ID_VIEW_ANIMATION, 0, ID_MERGE,
                            ID_EXTRACT_IMAGES, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
                            ID_HELP_MANUAL, ID_APP_ABOUT};

}  // namespace

std::span<const CommandSpec> Commands() { return kCommands; }

const CommandSpec* FindCommand(int id) {
  for (const CommandSpec& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

std::span<const MenuSpec> Menus() { return kMenus; }
std::span<const int> ToolbarCommands() { return kToolbar; }

}  // namespace zr
