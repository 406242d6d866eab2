// The main window: toolbar, status bar, the frame-list panel docked on the left and the
// view in the middle. Every command is one QAction; each handler is a small method that
// asks, calls the core and shows the result.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QSettings>
#include <QStringList>

#include "app/document.h"
#include "app/startup.h"
#include "gui/preview_window.h"
#include "output/avi_writer.h"

class QLabel;
class QMenu;
class QToolBar;
class QUrl;

namespace zr {

class CFramePanel;
class CTorvexerView;
class FrameListModel;
class ThumbnailCache;
class ThumbnailLoader;

class CConvertProgressDlg;
class LongWork;
class ProjectUndo;

struct CommandSpec;

class CMainFrame : public QMainWindow, public DocumentWindows {
  Q_OBJECT

 public:
  CMainFrame();
  ~CMainFrame() override;

  // Every command with its handler and rules (commands.cpp).
  static std::span<const CommandSpec> CommandTable();

  CTorvexerDoc& doc() { return doc_; }
  ViewSettings& viewSettings() { return viewSettings_; }
  CTorvexerView* view() const { return view_; }
  CFramePanel* panel() const { return panel_; }
  QAction* action(int id) const;
  QToolBar* toolBar() const { return toolBar_; }
  // The run's compression options: AVI Settings edits them, every AVI uses them, and
  // nothing keeps them after the program ends.
  AVICOMPRESSOPTIONS& compressOptions() { return aviCompressOptions_; }

  // The first paint's start-up, once (the view's first paint runs it; callable directly).
  void FirstPaint();
  // Re-evaluates every command's enable and check state and the status panes. Runs on
  // every change the rules read: the frame list, the document, the undo history, the
  // shown image and the clipboard.
  void UpdateCommandUI();
  // Runs a command as its menu item would.
  void Execute(int id);

  // Frame-list operations other parts use.
  int AddFrameRow(const std::string& name, int after, int frames);
  std::string GetCurrentImagePath() const { return doc_.GetCurrentImagePath(); }
  void SetStatusText(const std::string& text);
  // Adds image files as frames after `afterRow` (list row; -1 appends), sorted by name,
  // as one undo step unless the caller records it.
  void AddImageFiles(const QStringList& paths, int afterRow = -1, bool record = true);
  // What a drop on the window does: the first project or settings file is opened, image
  // files are added as frames.
  void OpenDroppedFiles(const QList<QUrl>& urls);
  // Opens a dropped or recent project / settings file, asking to save changes first.
  bool OpenDocumentFile(const QString& path);

  // The preview player (one at a time, closed with the main window).
  void ShowAnimation(const std::string& path);
  CPreviewWindow* previewWindow() const { return preview_; }
  void ClosePreview();

  // The converter's progress window (hidden until its first line).
  CConvertProgressDlg* convertProgress();

  // The long operation running now (LongWork sets it); commands do not start meanwhile.
  LongWork* work() const { return work_; }
  void SetWork(LongWork* work) { work_ = work; }
  // The window was closed during work: it closes when the work has ended.
  bool closeAfterWork() const { return closeAfterWork_; }

  // Thumbnails in the frame list (the choice is kept in the user's desktop settings).
  void ShowThumbnails(bool shown);
  bool thumbnailsShown() const;
  // Takes pictures from `loader` (not owned; the frame's own pool when null).
  void UseThumbnailLoader(ThumbnailLoader* loader);
  ThumbnailCache* thumbnailCache() const { return thumbnails_.get(); }

  ProjectUndo& undo() { return *undo_; }
  // Makes the project's change since the last record one undo step (`name` follows
  // "Undo " in the menu).
  void RecordChange(const QString& name, int mergeId = -1);

  QStringList recentFiles() const;
  void AddRecentFile(const QString& path);

  // DocumentWindows
  std::string FpsText() const override;
  void SetFpsText(const std::string& text) override;
  void SetDepthButton(int bits) override;
  void UpdateSoundDisplay(const std::string& soundFile) override;
  CBmp* ShownImage() override;
  void ClearShownImage() override;
  void RedrawView(bool erase) override;

  const QString& statusFrameCount() const { return paneFrames_; }
  const QString& statusImageSize() const { return paneSize_; }

 signals:
  // The unattended job ended: true when the AVI was made (the window then closes).
  void unattendedJobFinished(bool made);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreatePanel();
  void ConnectPanel();
  void RebuildRecentMenu();
  void RestoreWindowLayout();
  void SaveWindowLayout();
  void UpdateTitle();
  void RunFirstPaint();
  void RunUnattendedJob();
  std::string ChooseProjectSavePath();
  bool SaveProject(bool askPath);

  // Command handlers, one each; the command table names them.
  void OnFileNew();
  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
  void OnImportImages();
  void OnAttachSound();
  void OnCreateAvi();
  void OnExport();
  void OnQuickAviCreate();
  void OnExtractImages();
  void OnExtractSounds();
  void OnMerge();
  void OnMpgConverter();
  void OnAppExit();
  void OnEditCut();
  void OnEditCopy();
  void OnEditPaste();
  void OnEditUndo();
  void OnEditRedo();
  void LeaveCountEditor();
  void OnAviSettings();
  void OnLogo();
  void OnScreenColor();
  void OnFrameImages();
  void OnMorphing();
  void OnViewToolbar();
  void OnViewStatusBar();
  void OnViewAnimation();
  void OnViewZoomFit();
  void OnViewActualSize();
  void OnViewZoomIn();
  void OnViewZoomOut();
  void OnViewThumbnails();
  void OnHelpManual();
  void OnHelpTroubleshooting();
  void OnHelpWebTutorial();
  template <int id>
  void OnHelpWebPage() {
    OpenWebPage(id);
  }
  void OpenWebPage(int id);
  void OnAppAbout();
  void OnNextPane();
  void OnPrevPane() { OnNextPane(); }  // two panes: either way is the other one

  // Enable and check rules of the command table.
  bool HasFrames() const;
  bool CanCreateAvi() const;
  bool CanCutOrCopy() const;
  bool CanPaste() const { return clipboardHasImage_; }
  bool CanUndo() const;
  bool CanRedo() const;
  bool HasPicture() const;
  bool FrameImagesOn() const { return viewSettings_.bFrameImages != 0; }
  bool ToolbarShown() const;
  bool StatusBarShown() const;
  bool Fitting() const;
  void ClipboardChanged();

  void OnGridCurrentChanged();
  void OnGridRowDragged(int fromItem, int toItem);

  CTorvexerDoc doc_;
  AVICOMPRESSOPTIONS aviCompressOptions_ = DefaultCompressOptions();
  ViewSettings viewSettings_;
  std::unique_ptr<ProjectUndo> undo_;
  std::unique_ptr<FrameListModel> model_;
  std::unique_ptr<ThumbnailLoader> ownLoader_;
  std::unique_ptr<ThumbnailCache> thumbnails_;
  CTorvexerView* view_ = nullptr;
  CFramePanel* panel_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QLabel* framesLabel_ = nullptr;
  QLabel* sizeLabel_ = nullptr;
  QString paneFrames_, paneSize_;
  int cachedFrames_ = 0, cachedWidth_ = 0, cachedHeight_ = 0;
  std::map<int, QAction*> actions_;
  bool clipboardHasImage_ = false;
  QPointer<CPreviewWindow> preview_;
  CConvertProgressDlg* convertProgress_ = nullptr;
  bool syncingCurrent_ = false;
  bool settingsSaved_ = false;
  bool unattendedClose_ = false;
  LongWork* work_ = nullptr;
  bool closeAfterWork_ = false;
};

// Shows "AnimHelp/Index.htm" at `anchor` ("#troubleshooting") in the help window of
// `near`'s main window (the active window's when null).
void OpenHelp(const std::string& anchor = {}, QWidget* near = nullptr);
// Where a help page is: beside the executable, or in the installed data folder.
std::string HelpPagePath(const std::string& relative);

// The program's own store of window layout and recent files (the settings file holds
// everything else). The first use moves the recent files from the old store.
QSettings ProgramStore();

// Where a window of `wanted` geometry opens: on the available area it overlaps most (the
// first when it overlaps none), shrunk to fit and moved wholly inside it.
QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& available);

// Image extensions the import and the drops take (lower case, no dot).
bool IsImportableImage(const QString& path);

}  // namespace zr
