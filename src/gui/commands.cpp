#include "gui/commands.h"

#include "gui/main_frame.h"

namespace zr {

namespace {

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

// A member, so the table may name the frame's private handlers and rules.
std::span<const CommandSpec> CMainFrame::CommandTable() {
  using F = CMainFrame;
  using I = CommandIcon;
  static constexpr CommandSpec kCommands[] = {
      {ID_FILE_NEW, "&New AVI Project", "Ctrl+N", "Create a new animation project\nNew", I::New,
       &F::OnFileNew},
      {ID_FILE_OPEN, "&Open AVI Project...", "Ctrl+O", "Open an existing animation project\nOpen",
       I::Open, &F::OnFileOpen},
      {ID_FILE_SAVE, "&Save AVI Project", "Ctrl+S", "Save the animation project\nSave", I::Save,
       &F::OnFileSave, &F::HasFrames},
      {ID_FILE_SAVE_AS, "Save AVI Project &As...", "",
       "Save the animation project with a new name\nSave As", I::None, &F::OnFileSaveAs,
       &F::HasFrames},
      {ID_IMPORT_IMAGES, "Step 1: &Import Images...", "", "Import images\nImport Images", I::Import,
       &F::OnImportImages},
      {ID_ATTACH_SOUND, "Step 2: Attach S&ound File...", "",
       "Attach a WAV sound file to the animation\nAttach Sound", I::Sound, &F::OnAttachSound},
      {ID_CREATE_AVI, "Step 3: Create &AVI File...", "",
       "Create an AVI file from the frame list\nCreate AVI", I::CreateAvi, &F::OnCreateAvi,
       &F::CanCreateAvi},
      {ID_EXPORT, "Ex&port...", "", "Export the animation as MP4, WebM, GIF, WebP or APNG\nExport",
       I::None, &F::OnExport, &F::HasFrames},
      {ID_QUICK_AVI, "&Quick AVI Create...", "",
       "Create AVI out of numbered images\nQuick AVI Create", I::None, &F::OnQuickAviCreate},
      {ID_EXTRACT_IMAGES, "&Extract Images from AVI...", "",
       "Save the frames of an AVI file as images\nExtract Images", I::Extract, &F::OnExtractImages},
      {ID_EXTRACT_SOUNDS, "Extract So&unds from AVI...", "",
       "Save the sound of an AVI file as a WAV file\nExtract Sounds", I::None, &F::OnExtractSounds},
      {ID_MERGE, "&Merge AVI with AVI/WAV...", "",
       "Merge an AVI file with the sound of an AVI, MIDI or WAV file\nMerge", I::Merge,
       &F::OnMerge},
      {ID_MPG_CONVERTER, "AVI -> MP&G Converter...", "",
       "Converts AVI files into MPG files\nAVI to MPG", I::None, &F::OnMpgConverter},
      {ID_APP_EXIT, "E&xit", "", "Quit the application\nExit", I::None, &F::OnAppExit},
      {ID_EDIT_CUT, "Cu&t", "Ctrl+X;Shift+Del", "Cut the current image to the clipboard\nCut",
       I::Cut, &F::OnEditCut, &F::CanCutOrCopy},
      {ID_EDIT_COPY, "&Copy", "Ctrl+C;Ctrl+Ins", "Copy the current image to the clipboard\nCopy",
       I::Copy, &F::OnEditCopy, &F::CanCutOrCopy},
      {ID_EDIT_PASTE, "&Paste", "Ctrl+V;Shift+Ins",
       "Paste the clipboard image as a new frame\nPaste", I::Paste, &F::OnEditPaste, &F::CanPaste},
      {ID_EDIT_UNDO, "&Undo", "Ctrl+Z;Alt+Backspace", "Undo the last change of the project\nUndo",
       I::Undo, &F::OnEditUndo, &F::CanUndo},
      {ID_EDIT_REDO, "&Redo", "Ctrl+Shift+Z;Ctrl+Y", "Redo the change just undone\nRedo", I::Redo,
       &F::OnEditRedo, &F::CanRedo},
      {ID_AVI_SETTINGS, "&AVI Settings...", "",
       "Choose the video compressor for new AVI files\nAVI Settings", I::None, &F::OnAviSettings},
      {ID_LOGO, "&Logo...", "", "Choose the logo stamped on every frame\nLogo", I::None,
       &F::OnLogo},
      {ID_SCREEN_COLOR, "&Screen Color...", "",
       "Choose the background colour of the view\nScreen Color", I::None, &F::OnScreenColor},
      {ID_FRAME_IMAGES, "&Frame Images", "", "Draw a frame around the shown image\nFrame Images",
       I::None, &F::OnFrameImages, nullptr, &F::FrameImagesOn},
      {ID_MORPHING, "&Morphing...", "", "Fade one image into another\nMorphing", I::None,
       &F::OnMorphing},
      {ID_VIEW_TOOLBAR, "&Toolbar", "", "Show or hide the toolbar\nToggle Toolbar", I::None,
       &F::OnViewToolbar, nullptr, &F::ToolbarShown},
      {ID_VIEW_STATUS_BAR, "&Status Bar", "", "Show or hide the status bar\nToggle Status Bar",
       I::None, &F::OnViewStatusBar, nullptr, &F::StatusBarShown},
      {ID_VIEW_ANIMATION, "&View Animation...", "", "View an AVI file\nView Animation",
       I::ViewAnimation, &F::OnViewAnimation},
      {ID_VIEW_ZOOM_FIT, "Zoom to &Fit", "Ctrl+0",
       "Shrink large images to fit the view\nZoom to Fit", I::ZoomFit, &F::OnViewZoomFit,
       &F::HasPicture, &F::Fitting},
      {ID_VIEW_ACTUAL_SIZE, "&Actual Size", "Ctrl+1",
       "Show the image at its actual size\nActual Size", I::ZoomActual, &F::OnViewActualSize,
       &F::HasPicture},
      {ID_VIEW_ZOOM_IN, "Zoom &In", "Ctrl++;Ctrl+=", "Show the image larger\nZoom In", I::ZoomIn,
       &F::OnViewZoomIn, &F::HasPicture},
      {ID_VIEW_ZOOM_OUT, "Zoom &Out", "Ctrl+-", "Show the image smaller\nZoom Out", I::ZoomOut,
       &F::OnViewZoomOut, &F::HasPicture},
      {ID_VIEW_THUMBNAILS, "T&humbnails", "",
       "Show a small picture of each image in the frame list\nThumbnails", I::None,
       &F::OnViewThumbnails, nullptr, &F::thumbnailsShown},
      {ID_HELP_MANUAL, "On-line &Manual...", "", "Open the manual\nManual", I::Help,
       &F::OnHelpManual},
      {ID_HELP_TROUBLESHOOTING, "&Troubleshooting", "",
       "What to do when something goes wrong\nTroubleshooting", I::None, &F::OnHelpTroubleshooting},
      {ID_HELP_WEB_TUTORIAL, "Adding Animations and Videos to &Web Pages...", "",
       "How to put animations and videos on web pages\nWeb Pages", I::None, &F::OnHelpWebTutorial},
      {ID_HELP_WEB_SITE, "Wombrel Zerarive &Web site...", "",
       "Open the program's web site\nWeb Site", I::None, &F::OnHelpWebPage<ID_HELP_WEB_SITE>},
      {ID_HELP_MAILING_LIST, "Join the Mailing &List...", "",
       "Hear about new versions\nMailing List", I::None, &F::OnHelpWebPage<ID_HELP_MAILING_LIST>},
      {ID_HELP_DISCUSSION, "&Discussion Board...", "",
       "Ask and answer questions about the program\nDiscussion Board", I::None,
       &F::OnHelpWebPage<ID_HELP_DISCUSSION>},
      {ID_HELP_NEWS, "What's &New...", "", "Read about the latest version\nWhat's New", I::None,
       &F::OnHelpWebPage<ID_HELP_NEWS>},
      {ID_HELP_MAIL, "Send &Feedback...", "", "Write to the program's makers\nFeedback", I::None,
       &F::OnHelpWebPage<ID_HELP_MAIL>},
      {ID_APP_ABOUT, "&About Wombrel Zerarive...", "",
       "Display program information, version number and copyright\nAbout", I::About,
       &F::OnAppAbout},
      {ID_NEXT_PANE, "Next Pane", "F6", "Switch to the next window pane\nNext Pane", I::None,
       &F::OnNextPane},
      {ID_PREV_PANE, "Previous Pane", "Shift+F6",
       "Switch back to the previous window pane\nPrevious Pane", I::None, &F::OnPrevPane},
  };
  return kCommands;
}

std::span<const CommandSpec> Commands() { return CMainFrame::CommandTable(); }

const CommandSpec* FindCommand(int id) {
  for (const CommandSpec& c : Commands())
    if (c.id == id) return &c;
  return nullptr;
}

std::span<const MenuSpec> Menus() { return kMenus; }
std::span<const int> ToolbarCommands() { return kToolbar; }

}  // namespace zr
