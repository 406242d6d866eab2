// The project document without windows. The frame order and counts live in `frames`
// (the grid shows that model); the document keeps everything else: name -> path map,
// AVI settings, sound file and logo. Whatever an operation would read or write in a
// window goes through DocumentWindows, which the GUI implements and tests fake.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/frame_list.h"
#include "app/settings_file.h"
#include "platform/host.h"
#include "platform/raster.h"

namespace zr {

class Archive;
class CBmp;

// The panel's AVI options and the view, as the document sees them.
class DocumentWindows {
 public:
  virtual ~DocumentWindows() = default;
  // The frames-per-second edit field (the live value while the user edits it).
  virtual std::string FpsText() const = 0;
  virtual void SetFpsText(const std::string& text) = 0;
  // Checks the 8-, 16- or 24-bit radio button and unchecks the others.
  virtual void SetDepthButton(int bits) = 0;
  // Hides the sound check box when soundFile is empty, else shows its file name, ticked.
  virtual void UpdateSoundDisplay(const std::string& soundFile) = 0;
  // The view's current image (bmpCurrent), or null when there is no view.
  virtual CBmp* ShownImage() { return nullptr; }
  // Empties the shown image and forgets the path it came from.
  virtual void ClearShownImage() {}
  virtual void RedrawView(bool /*erase*/) {}
};

// DocumentWindows for the CLI and the unattended job: keeps the texts, has no view.
class HeadlessWindows : public DocumentWindows {
 public:
  std::string FpsText() const override { return fpsText; }
  void SetFpsText(const std::string& text) override { fpsText = text; }
  void SetDepthButton(int bits) override { depthButton = bits; }
  void UpdateSoundDisplay(const std::string& soundFile) override { soundCaption = soundFile; }

  std::string fpsText = "10";
  int depthButton = 24;
  std::string soundCaption;
};

// The project data one undo step puts back. The current row only says where the user was.
struct ProjectState {
  std::vector<std::pair<std::string, std::string>> rows;  // name, "Frames" text as typed
  std::map<std::string, std::string> images;
  std::string fpsText;
  int16_t bpp = 24;
  std::string sound;
  int currentRow = -1;
};
bool SameProject(const ProjectState& a, const ProjectState& b);

// Where the GUI's undo history tells whether the project differs from the saved one.
class ChangeTracker {
 public:
  virtual ~ChangeTracker() = default;
  virtual bool HasUnsavedChanges() const = 0;
  // The project was saved: the present state is the clean one.
  virtual void Saved() = 0;
  // A new or opened project replaced the old one: no history to go back to.
  virtual void Restarted() = 0;
};

// How a frame is named after its image file (the name shown in the list and the map key).
enum class FrameNaming {
  FileName,           // name + extension, the dot only with an extension: import, project
  TitleDotExtension,  // title + "." + extension, so "name." without one: the [Images] list
};
std::string FrameName(const std::string& path, FrameNaming naming);

// The order in which added images become rows.
enum class FrameOrder {
  AsGiven,      // the [Images] keys, the command's arguments
  ByNameBytes,  // the import: unsigned byte order of the names, "Z..." before "a..."
};

// How reading a project ended.
enum class ProjectRead { Ok, UnknownFormat, UnsupportedVersion, Truncated, CannotRead };

class CTorvexerDoc {
 public:
  static constexpr int16_t kVersion = 30;
  static constexpr const char* kMagic = "TVFC";
  static constexpr const char* kUntitled = "Untitled";

  // Without windows the document uses a HeadlessWindows of its own.
  explicit CTorvexerDoc(DocumentWindows* windows = nullptr);
  ~CTorvexerDoc();
  CTorvexerDoc(const CTorvexerDoc&) = delete;
  CTorvexerDoc& operator=(const CTorvexerDoc&) = delete;

  DocumentWindows& windows() { return *windows_; }
  void SetWindows(DocumentWindows* windows);
  // Where the document's messages and questions go; silent until a front end attaches one.
  Host& host() const { return *host_; }
  void AttachHost(Host& host) {
    host_ = &host;
    settings_.AttachHost(host);
  }
  // The settings store this window or command reads and writes back.
  SettingsFile& settings() { return settings_; }
  const SettingsFile& settings() const { return settings_; }
  // Where default files go (settings, pasted images): its store's program folder.
  const std::string& programFolder() const { return settings_.programFolder(); }

  // --- fields, initial values as a new document has them
  std::string sIniFile;
  std::map<std::string, std::string> mapImages;  // frame name -> path; never shrinks
  std::string sImportPath;
  std::string sSavePath;
  int16_t nFps = 10;
  int16_t nBpp = 24;  // 8, 16 or 24 from the panel; files may bring any value
  int32_t nPasteCount = 0;
  std::string sSoundFile;
  std::string sOutput;
  int16_t bUseLogo = 1;
  int16_t bUseTransparent = 0;
  int16_t nXPos = 0;
  int16_t nYPos = 0;
  int16_t bColorFromLogo = 0;
  ColorRef crTrans = 0;
  std::string sLogoFile = "<LOGO";

  // The grid's rows.
  FrameList frames;

  // --- name -> path
  // Empty when none is recorded.
  std::string GetImagePath(const std::string& name) const;
  void SetImagePath(const std::string& name, const std::string& path);
  // Path of the current row's frame; empty when there is no current row.
  std::string GetCurrentImagePath() const;
  // Records every path under its frame name (a later path of the same name wins) and adds
  // one row of `frameCount` per path in `order`: appended, or inserted one after another
  // below list row `after` when that is a frame row. Returns the last row added, -1 for
  // none.
  int AddImages(const std::vector<std::string>& paths, FrameNaming naming, FrameOrder order,
                int frameCount, int after = -1);

  // --- logo
  // Rebuilds the logo images from the logo fields; nothing when bUseLogo is 0. A file
  // that cannot be loaded leaves the image empty, silently.
  void PrepareLogo();
  // Stamps the prepared logo onto `bitmap` at (nXPos, nYPos), clipped.
  void ApplyLogo(CBmp& bitmap) const;
  const CBmp& bmpLogo() const;
  bool HasLogoImage() const;
  // Why the last PrepareLogo found no logo image (shown only as details); empty otherwise.
  const std::string& logoFailure() const;

  // --- the panel
  // Depth button, fps text, sound display, current cell (1, 1), view redraw.
  void UpdatePanel();
  // Reads the fps edit text back into nFps (leading digits, 16-bit wrap).
  int16_t ReadFpsFromPanel();

  // --- numbered operations
  bool DeleteFrame();
  bool MoveFrameUp();
  bool MoveFrameDown();
  bool MoveFrameToFirst();
  bool MoveFrameToLast();
  // Image commands on the shown image (logo already stamped). Cut and Copy do nothing
  // when no image is shown; they return whether the clipboard was filled.
  bool Cut();
  bool Copy();
  // Saves the clipboard bitmap as "Image%d.bmp" in the program folder's "Images" folder
  // and inserts it after the current row (or appends). True when a row was added.
  bool Paste();
  // The Edit menu's rule for Cut and Copy: a current row and at least one frame.
  bool CanCutOrCopy() const { return frames.HasCurrentRow(); }
  // Empties the list, clears the sound and the shown image; the title becomes "Untitled".
  void NewProject();
  void SetDepth(int bits);
  void AttachSound(const std::string& path);
  void DetachSound();

  // --- files
  // An "ini" path (any case) only becomes sIniFile. Otherwise reads the project: wrong
  // magic or version shows a message and still counts as opened (with an empty list); a
  // truncated file shows the archive error, keeps the frames read so far and fails.
  bool OnOpenDocument(const std::string& path);
  // Writes the project through a temporary file; the old file survives any failure.
  bool OnSaveDocument(const std::string& path);
  // Reads or writes the project's bytes.
  ProjectRead Serialize(Archive& archive);

  // How the last OnOpenDocument of a project ended,
  // and the version word of the last project read (0 before one was).
  ProjectRead LastReadResult() const { return lastRead_; }
  int16_t FileVersion() const { return fileVersion_; }

  const std::string& GetPathName() const { return pathName_; }
  const std::string& GetTitle() const { return title_; }

  // --- undo
  ProjectState CaptureState() const;
  void RestoreState(const ProjectState& state);
  // Without a tracker, the document compares itself with the state it was saved in.
  void SetChangeTracker(ChangeTracker* tracker) { tracker_ = tracker; }

  // --- unsaved changes
  bool IsModified() const;
  void SetModifiedFlag(bool modified);
  // Before New, Open and Exit: asks "Save changes to %s?" when modified. Yes saves (under
  // the current path, or one from chooseSavePath, empty meaning cancelled). Returns false
  // when the caller must not go on (Cancel, or the save failed). Never asks when unattended.
  bool SaveModified(const std::function<std::string()>& chooseSavePath);
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  bool unattended() const { return unattended_; }

 private:
  struct LogoImages;
  struct Snapshot {
    uint64_t revision = 0;
    int16_t fps = 10;
    int16_t bpp = 24;
    std::string sound;
  };
  Snapshot TakeSnapshot() const;
  void SetPathName(const std::string& path);

  std::unique_ptr<HeadlessWindows> ownWindows_;
  DocumentWindows* windows_ = nullptr;
  Host* host_ = &NullHost();
  SettingsFile settings_;
  std::unique_ptr<LogoImages> logo_;
  std::string pathName_;
  std::string title_ = kUntitled;
  Snapshot saved_;
  bool modified_ = false;
  bool unattended_ = false;
  ChangeTracker* tracker_ = nullptr;
  ProjectRead lastRead_ = ProjectRead::Ok;
  int16_t fileVersion_ = 0;
};

// The save question for a document title.
std::string SaveChangesQuestion(const std::string& title);
// The sound check box's caption: the file name without its folder.
std::string SoundDisplayName(const std::string& soundFile);

}  // namespace zr
