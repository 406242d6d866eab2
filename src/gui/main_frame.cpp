#include "gui/main_frame.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/settings_file.h"
#include "gui/about_dialog.h"
#include "gui/commands.h"
#include "gui/export_dialog.h"
#include "gui/file_dialogs.h"
#include "gui/frame_list_model.h"
#include "gui/frame_panel.h"
#include "gui/help_window.h"
#include "gui/icons.h"
#include "gui/logo_dialog.h"
#include "gui/long_work.h"
#include "gui/merge_dialog.h"
#include "output/merge.h"
#include "gui/output_commands.h"
#include "gui/preview_window.h"
#include "gui/project_undo.h"
#include "gui/thumbnails.h"
#include "gui/view.h"
#include "platform/host.h"
#include "platform/paths.h"
#include "ui/dialog_flags.h"
#include "ui/grid_ctrl.h"
#include "ui/updown_edit.h"

namespace zr {

namespace {

constexpr int kMaxRecentFiles = 4;
constexpr const char* kRecentKey = "Recent File List/Files";
constexpr const char* kThumbnailsKey = "View/Thumbnails";

constexpr const char* kGeometryKey = "Window/geometry";
constexpr const char* kStateKey = "Window/state";

QString QS(const std::string& s) { return QString::fromStdString(s); }

bool IsDocumentFile(const QString& path) {
  const QString ext = QFileInfo(path).suffix().toLower();
  return ext == QLatin1String("tvf") || ext == QLatin1String("ini");
}

// Web pages of the Help menu, under the one web address.
bool IsWebCommand(int id) {
  return id == ID_HELP_WEB_SITE || id == ID_HELP_MAILING_LIST || id == ID_HELP_DISCUSSION ||
         id == ID_HELP_NEWS || id == ID_HELP_MAIL;
}

QString WebTarget(int id) {
  const QString site = QString::fromLatin1(kWebAddress);
  if (site.isEmpty()) return {};
  switch (id) {
    case ID_HELP_WEB_SITE: return site;
    case ID_HELP_MAILING_LIST: return site + QStringLiteral("mailing-list");
    case ID_HELP_DISCUSSION: return site + QStringLiteral("forum");
    case ID_HELP_NEWS: return site + QStringLiteral("news");
    case ID_HELP_MAIL: return site + QStringLiteral("feedback");
    default: return {};
  }
}

}  // namespace

QSettings ProgramStore() {
  QSettings store(QStringLiteral("Zerarive"), QStringLiteral("zerarive"));
  if (!store.value(QStringLiteral("General/movedOldStore")).toBool()) {
    // Earlier versions kept the recent files under the framework's old name.
    QSettings old(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Zerarive"));
    const QVariant recent = old.value(QLatin1String(kRecentKey));
    if (recent.isValid() && !store.contains(QLatin1String(kRecentKey)))
      store.setValue(QLatin1String(kRecentKey), recent);
    old.remove(QLatin1String(kRecentKey));
    store.setValue(QStringLiteral("General/movedOldStore"), true);
  }
  return QSettings(QStringLiteral("Zerarive"), QStringLiteral("zerarive"));
}

QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& available) {
  if (available.isEmpty()) return wanted;
  QRect area = available.first();
  qint64 best = 0;
  for (const QRect& a : available) {
    const QRect common = a.intersected(wanted);
    const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
    if (overlap > best) {
      best = overlap;
      area = a;
    }
  }
  QRect placed(wanted.topLeft(), wanted.size().boundedTo(area.size()));
  placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() - placed.width() + 1));
  placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() - placed.height() + 1));
  return placed;
}

bool IsImportableImage(const QString& path) {
  static const QStringList extensions = {"bmp", "dib", "gif", "jpg", "jpeg", "pcx",
                                         "png", "rle", "tif", "tiff", "tga"};
  return extensions.contains(QFileInfo(path).suffix().toLower());
}

std::string HelpPagePath(const std::string& relative) {
  const std::string beside = ExecutableFolder() + relative;
  if (FileExists(beside)) return beside;
  const std::string installed = ExecutableFolder() + "../share/zerarive/help/" + relative;
  if (FileExists(installed)) return installed;
  return beside;
}

void OpenHelp(const std::string& anchor, QWidget* near) {
  ShowHelpPage(near ? near : QApplication::activeWindow(), "AnimHelp/Index.htm", anchor);
}

CMainFrame::CMainFrame() : doc_(nullptr) {
  doc_.SetWindows(this);
  model_ = std::make_unique<FrameListModel>(doc_.frames);
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);

  view_ = new CTorvexerView(doc_, viewSettings_, this);
  view_->setObjectName(QStringLiteral("view"));
  view_->SetFirstPaintHook([this] { RunFirstPaint(); });
  setCentralWidget(view_);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreatePanel();
  ConnectPanel();
  // After the panel: the first state recorded reads its frame-rate field.
  undo_ = std::make_unique<ProjectUndo>(doc_, [this] {
    view_->update();
    UpdateCommandUI();
  });
  UseThumbnailLoader(nullptr);
  ShowThumbnails(ProgramStore().value(QLatin1String(kThumbnailsKey), true).toBool());
  UpdateTitle();
  RestoreWindowLayout();

  // The rules read the list, the document, the history, the shown image and the
  // clipboard: each tells when it changed, so nothing polls.
  auto refresh = [this] { UpdateCommandUI(); };
  connect(model_.get(), &QAbstractItemModel::rowsInserted, this, refresh);
  connect(model_.get(), &QAbstractItemModel::rowsRemoved, this, refresh);
  connect(model_.get(), &QAbstractItemModel::modelReset, this, refresh);
  connect(model_.get(), &QAbstractItemModel::dataChanged, this, refresh);
  connect(model_.get(), &FrameListModel::currentMoved, this, refresh);
  connect(&undo_->stack(), &QUndoStack::indexChanged, this, refresh);
  connect(&undo_->stack(), &QUndoStack::cleanChanged, this, refresh);
  // Queued: the view finds its new image while it paints, and the panes repaint.
  connect(view_, &CTorvexerView::imageChanged, this, refresh, Qt::QueuedConnection);
  connect(view_, &CTorvexerView::zoomChanged, this, refresh);
  connect(toolBar_, &QToolBar::visibilityChanged, this, refresh);
  if (QClipboard* clipboard = QGuiApplication::clipboard())
    connect(clipboard, &QClipboard::dataChanged, this, &CMainFrame::ClipboardChanged);
  ClipboardChanged();
}

CMainFrame::~CMainFrame() {
  ClosePreview();
  model_->SetThumbnails(nullptr, {});
  undo_.reset();
  if (!settingsSaved_) {
    SaveWindowLayout();
    settingsSaved_ = true;
    SaveSettingsAtExit(doc_.settings());
  }
  doc_.SetWindows(nullptr);
}

QAction* CMainFrame::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
  for (const CommandSpec& command : Commands()) {
    auto* a = new QAction(QString::fromUtf8(command.caption), this);
    a->setObjectName(QStringLiteral("cmd%1").arg(command.id));
    a->setData(command.id);
    QList<QKeySequence> keys;
    for (const QString& k : QString::fromLatin1(command.shortcuts).split(';', Qt::SkipEmptyParts))
      keys << QKeySequence(k);
    a->setShortcuts(keys);
    const QString help = QString::fromUtf8(command.statusText);
    a->setStatusTip(help.section('\n', 0, 0));
    if (help.contains('\n')) a->setToolTip(help.section('\n', 1));
    a->setIcon(CommandIconImage(command.icon));
    a->setCheckable(command.checked != nullptr);
    a->setShortcutContext(Qt::WindowShortcut);
    const int id = command.id;
    connect(a, &QAction::triggered, this, [this, id] { Execute(id); });
    actions_[id] = a;
    // Commands reached only by keys still need to live on the window.
    addAction(a);
  }
}

void CMainFrame::Execute(int id) {
  if (work_) return;
  if (const CommandSpec* command = FindCommand(id)) (this->*command->run)();
  // Some states have no change signal of their own (the status bar, the frame option).
  UpdateCommandUI();
}

void CMainFrame::CreateMenus() {
  for (const MenuSpec& menuSpec : Menus()) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(menuSpec.title));
    for (int id : menuSpec.items) {
      if (id == 0) {
        menu->addSeparator();
      } else if (id == ID_FILE_MRU_FIRST) {
        recentMenu_ = menu;
        recentSeparator_ = menu->addSeparator();
        recentSeparator_->setVisible(false);
      } else if (QAction* a = action(id)) {
        menu->addAction(a);
        if (WebTarget(id).isEmpty() && IsWebCommand(id)) a->setVisible(false);
      }
    }
  }
  RebuildRecentMenu();
}

void CMainFrame::CreateToolBar() {
  toolBar_ = addToolBar(tr("Standard"));
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setMovable(true);
  for (int id : ToolbarCommands()) {
    if (id == 0)
      toolBar_->addSeparator();
    else if (QAction* a = action(id))
      toolBar_->addAction(a);
  }
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  auto makePane = [&](const char* sizing) {
    auto* label = new QLabel(bar);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    QFont mono = label->font();
    mono.setStyleHint(QFont::Monospace);
    mono.setFamily(QStringLiteral("Monospace"));
    label->setFont(mono);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QLatin1String(sizing)) + 8);
    bar->addPermanentWidget(label);
    return label;
  };
  framesLabel_ = makePane("0000");
  framesLabel_->setObjectName(QStringLiteral("paneFrames"));
  framesLabel_->setToolTip(tr("Frames in the list"));
  sizeLabel_ = makePane("0000x0000");
  sizeLabel_->setObjectName(QStringLiteral("paneSize"));
  sizeLabel_->setToolTip(tr("Size of the shown image"));
  bar->showMessage(tr("Ready"));
}

void CMainFrame::CreatePanel() {
  panel_ = new CFramePanel(*model_, this);
  auto* dock = new QDockWidget(tr("Frames"), this);
  dock->setObjectName(QStringLiteral("framePanel"));
  dock->setWidget(panel_);
  dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  panel_->setMinimumWidth(210);
  addDockWidget(Qt::LeftDockWidgetArea, dock);
}

void CMainFrame::ConnectPanel() {
  CGridCtrl* grid = panel_->grid();
  auto change = [this](const char* name, auto operation) {
    return [this, name, operation] {
      operation();
      RecordChange(tr(name));
    };
  };
  connect(panel_, &CFramePanel::moveFirst, this, change("Move Frame", [this] { doc_.MoveFrameToFirst(); }));
  connect(panel_, &CFramePanel::moveUp, this, change("Move Frame", [this] { doc_.MoveFrameUp(); }));
  connect(panel_, &CFramePanel::moveDown, this, change("Move Frame", [this] { doc_.MoveFrameDown(); }));
  connect(panel_, &CFramePanel::moveLast, this, change("Move Frame", [this] { doc_.MoveFrameToLast(); }));
  connect(panel_, &CFramePanel::deleteFrame, this, change("Delete Frame", [this] { doc_.DeleteFrame(); }));
  connect(panel_, &CFramePanel::depthChosen, this, [this](int bits) {
    doc_.SetDepth(bits);
    RecordChange(tr("Change Color Depth"));
  });
  connect(panel_, &CFramePanel::detachSound, this, change("Detach Sound", [this] { doc_.DetachSound(); }));
  connect(panel_->fpsEdit(), &CUpDownEdit::textEdited, this,
          [this] { RecordChange(tr("Change Frames per Second"), ProjectUndo::kFpsMerge); });
  connect(model_.get(), &FrameListModel::countEdited, this, [this] { RecordChange(tr("Change Frame Count")); });
  // The list moves its current cell (moves, paste, reset): the grid follows.
  connect(model_.get(), &FrameListModel::currentMoved, this, [this, grid](int itemRow, int) {
    if (syncingCurrent_) return;
    syncingCurrent_ = true;
    grid->setCurrentRow(itemRow);
    syncingCurrent_ = false;
  });
  connect(model_.get(), &FrameListModel::scrollToTopRequested, grid, &CGridCtrl::scrollToTopRow);
  connect(model_.get(), &FrameListModel::scrollToBottomRequested, grid, &CGridCtrl::scrollToBottomRow);
  // The user moves the grid's focus cell: the list follows, and the view shows the frame.
  connect(grid, &CGridCtrl::currentCellNotify, this, &CMainFrame::OnGridCurrentChanged);
  connect(grid, &CGridCtrl::rowDragged, this, &CMainFrame::OnGridRowDragged);
  connect(grid, &CGridCtrl::filesDropped, this, [this](const QStringList& paths, int itemRow) {
    QStringList images, documents;
    for (const QString& p : paths) (IsImportableImage(p) ? images : documents) << p;
    if (!images.isEmpty()) {
      AddImageFiles(images, FrameListModel::ListRow(itemRow), false);
      RecordChange(tr("Drop Images"));
    }
    for (const QString& p : documents)
      if (IsDocumentFile(p)) {
        OpenDocumentFile(p);
        break;
      }
  });
}

void CMainFrame::UseThumbnailLoader(ThumbnailLoader* loader) {
  const bool shown = model_->showsThumbnails();
  model_->SetThumbnails(nullptr, {});
  thumbnails_.reset();
  if (!loader) {
    if (!ownLoader_) ownLoader_ = std::make_unique<PooledThumbnailLoader>();
    loader = ownLoader_.get();
  }
  thumbnails_ = std::make_unique<ThumbnailCache>(loader);
  if (shown) ShowThumbnails(true);
}

bool CMainFrame::thumbnailsShown() const { return model_->showsThumbnails(); }

void CMainFrame::ShowThumbnails(bool shown) {
  CGridCtrl* grid = panel_->grid();
  QHeaderView* rows = grid->verticalHeader();
  QHeaderView* columns = grid->horizontalHeader();
  if (shown) {
    model_->SetThumbnails(thumbnails_.get(), [this](const std::string& name) { return doc_.GetImagePath(name); });
    grid->setIconSize(QSize(kThumbnailHeight * 4 / 3, kThumbnailHeight));
    rows->setDefaultSectionSize(kThumbnailHeight + 6);
    // The count needs little room; the picture and name take the rest.
    columns->setSectionResizeMode(FrameList::kFramesColumn, QHeaderView::Fixed);
    columns->resizeSection(FrameList::kFramesColumn, grid->fontMetrics().horizontalAdvance(QStringLiteral("Frames")) + 24);
    panel_->setMinimumWidth(300);
  } else {
    model_->SetThumbnails(nullptr, {});
    grid->setIconSize(QSize());
    rows->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    columns->setSectionResizeMode(FrameList::kFramesColumn, QHeaderView::Stretch);
    panel_->setMinimumWidth(210);
  }
  action(ID_VIEW_THUMBNAILS)->setChecked(shown);
  ProgramStore().setValue(QLatin1String(kThumbnailsKey), shown);
}

void CMainFrame::OnGridCurrentChanged() {
  if (syncingCurrent_) return;
  CGridCtrl* grid = panel_->grid();
  QModelIndex index = grid->currentIndex();
  syncingCurrent_ = true;
  if (index.isValid())
    doc_.frames.SetCurrentCell(FrameListModel::ListRow(index.row()), index.column());
  else
    doc_.frames.ClearCurrent();
  syncingCurrent_ = false;
  if (doc_.frames.HasCurrentRow() && doc_.frames.FrameCount() >= 1) view_->update();
}

void CMainFrame::OnGridRowDragged(int fromItem, int toItem) {
  FrameList& list = doc_.frames;
  const int from = FrameListModel::ListRow(fromItem);
  if (from < 1 || from > list.FrameCount()) return;
  list.SetCurrentCell(from, FrameList::kNameColumn);
  if (toItem < 0) {
    doc_.MoveFrameToLast();
  } else {
    const int to = FrameListModel::ListRow(toItem);
    // One step at a time through the list's own moves, so every rule of a move holds.
    while (list.CurrentRow() > to && doc_.MoveFrameUp()) {
    }
    while (list.CurrentRow() < to && doc_.MoveFrameDown()) {
    }
  }
  RecordChange(tr("Move Frame"));
}

void CMainFrame::FirstPaint() { view_->EnsureStarted(); }

void CMainFrame::RunFirstPaint() {
  StartupResult result = FirstPaintStartup(doc_, viewSettings_);
  // The start-up fills the panel: that is where the history begins.
  undo_->Restarted();
  UpdateTitle();
  view_->update();
  UpdateCommandUI();
  if (result.startJob) QTimer::singleShot(100, this, &CMainFrame::RunUnattendedJob);
  QScreen* screen = this->screen();
  if (screen && screen->depth() < 24) doc_.host().Message(kDisplayDepthWarning, {}, MessageKind::Warning);
}

void CMainFrame::RunUnattendedJob() {
  const std::string& out = doc_.sOutput;
  bool made;
  {
    LongWork work(*this, IsExportPath(out) ? tr("Exporting") : tr("Creating AVI"));
    made = IsExportPath(out) ? ExportProject(doc_.host(), doc_, out, {}) : CreateAvi(*this, out);
  }
  emit unattendedJobFinished(made);
  if (!made) {
    // Someone will have to look at it now: from here on it is an ordinary session.
    doc_.SetUnattended(false);
    return;
  }
  unattendedClose_ = true;
  close();
}

bool CMainFrame::HasFrames() const { return doc_.frames.FrameCount() >= 1; }
bool CMainFrame::CanCreateAvi() const { return HasFrames() || !doc_.sSoundFile.empty(); }
bool CMainFrame::CanCutOrCopy() const { return doc_.CanCutOrCopy() && HasFrames(); }
bool CMainFrame::CanUndo() const { return undo_ && undo_->stack().canUndo(); }
bool CMainFrame::CanRedo() const { return undo_ && undo_->stack().canRedo(); }
bool CMainFrame::HasPicture() const { return !view_->bmpCurrent().empty(); }
bool CMainFrame::ToolbarShown() const { return !toolBar_->isHidden(); }
bool CMainFrame::StatusBarShown() const { return !statusBar()->isHidden(); }
bool CMainFrame::Fitting() const { return view_->fitting(); }

void CMainFrame::ClipboardChanged() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  // Asked once per change: reading another program's clipboard can be slow.
  clipboardHasImage_ = data && data->hasImage();
  UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
  // Called from the constructor's signals before every part is there.
  if (!undo_ || !toolBar_) return;
  for (const CommandSpec& command : Commands()) {
    QAction* a = action(command.id);
    if (command.enabled) a->setEnabled((this->*command.enabled)());
    if (command.checked) a->setChecked((this->*command.checked)());
  }
  const QUndoStack& history = undo_->stack();
  action(ID_EDIT_UNDO)->setText(history.canUndo() ? tr("&Undo %1").arg(history.undoText()) : tr("&Undo"));
  action(ID_EDIT_REDO)->setText(history.canRedo() ? tr("&Redo %1").arg(history.redoText()) : tr("&Redo"));

  const int count = doc_.frames.FrameCount();
  if (count != cachedFrames_ || paneFrames_.isEmpty()) {
    cachedFrames_ = count;
    paneFrames_ = QString::asprintf("%4d", count);
    framesLabel_->setText(paneFrames_);
    framesLabel_->repaint();
  }
  int w = 0, h = 0;
  const CBmp& shown = view_->bmpCurrent();
  if (!shown.empty()) shown.GetSize(w, h);
  if (w != cachedWidth_ || h != cachedHeight_ || paneSize_.isEmpty()) {
    cachedWidth_ = w;
    cachedHeight_ = h;
    paneSize_ = QString::asprintf("%4dx%-4d", w, h);
    sizeLabel_->setText(paneSize_);
    sizeLabel_->repaint();
  }
  setWindowModified(doc_.IsModified());
}

void CMainFrame::UpdateTitle() {
  setWindowTitle(QS(doc_.GetTitle()) + QStringLiteral("[*] - Wombrel Zerarive"));
  setWindowModified(doc_.IsModified());
}

int CMainFrame::AddFrameRow(const std::string& name, int after, int frames) {
  return doc_.frames.AddFrameRow(name, after, frames);
}

void CMainFrame::SetStatusText(const std::string& text) { doc_.host().SetStatusText(text); }

void CMainFrame::RecordChange(const QString& name, int mergeId) {
  if (undo_) undo_->Record(name, mergeId);
}

void CMainFrame::AddImageFiles(const QStringList& paths, int afterRow, bool record) {
  std::vector<std::string> files;
  for (const QString& p : paths) files.push_back(p.toStdString());
  doc_.AddImages(files, FrameNaming::FileName, FrameOrder::ByNameBytes, 1, afterRow);
  if (record) RecordChange(tr("Add Images"));
  view_->update();
}

bool CMainFrame::OpenDocumentFile(const QString& path) {
  if (work_) return false;
  if (!doc_.SaveModified([this] { return ChooseProjectSavePath(); })) return false;
  const bool ok = doc_.OnOpenDocument(path.toStdString());
  if (ok && QFileInfo(path).suffix().toLower() == QLatin1String("tvf")) AddRecentFile(path);
  UpdateTitle();
  view_->update();
  return ok;
}

std::string CMainFrame::ChooseProjectSavePath() {
  QString start = doc_.GetPathName().empty() || doc_.GetPathName() == CTorvexerDoc::kUntitled
                      ? QString()
                      : QS(doc_.GetPathName());
  QFileDialog dialog(this, tr("Save the project as"), start, tr("Zerarive projects (*.tvf)"));
  SetDialogFlags(&dialog);
  dialog.setObjectName(QStringLiteral("saveProjectDialog"));
  return ExecSaveDialog(dialog, doc_.host()).toStdString();
}

bool CMainFrame::SaveProject(bool askPath) {
  std::string path = doc_.GetPathName();
  if (askPath || path.empty() || path == CTorvexerDoc::kUntitled) path = ChooseProjectSavePath();
  if (path.empty()) return false;
  const bool ok = doc_.OnSaveDocument(path);
  if (ok) AddRecentFile(QS(path));
  UpdateTitle();
  return ok;
}

// ---- File menu

void CMainFrame::OnFileNew() {
  if (!doc_.SaveModified([this] { return ChooseProjectSavePath(); })) return;
  doc_.NewProject();
  UpdateTitle();
}

void CMainFrame::OnFileOpen() {
  QString path = QFileDialog::getOpenFileName(this, tr("Open a project"), QString(),
                                              tr("Zerarive projects (*.tvf);;All Files (*)"));
  if (!path.isEmpty()) OpenDocumentFile(path);
}

void CMainFrame::OnFileSave() { SaveProject(false); }
void CMainFrame::OnFileSaveAs() { SaveProject(true); }

void CMainFrame::OnImportImages() {
  QFileDialog dialog(this, tr("Choose images to add"));
  SetDialogFlags(&dialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilter(QStringLiteral(
      "Image Files (bmp, dib, gif, jpg, pcx, png, rle, tif, tga) "
      "(*.bmp *.dib *.gif *.jpg *.jpeg *.pcx *.png *.rle *.tif *.tiff *.tga)"));
  if (!doc_.sImportPath.empty()) dialog.setDirectory(QS(doc_.sImportPath));
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  QString folder = dialog.directory().absolutePath();
  if (!folder.endsWith('/')) folder += '/';
  doc_.sImportPath = folder.toStdString();
  StoreImportPath(doc_.settings(), doc_.sImportPath);
  AddImageFiles(files);
}

void CMainFrame::OnAttachSound() {
  std::string path = ChooseAviFile(doc_.host(), doc_, false, true);
  if (path.empty()) return;
  doc_.AttachSound(path);
  RecordChange(tr("Attach Sound"));
}

void CMainFrame::OnCreateAvi() {
  std::string path = ChooseAviFile(doc_.host(), doc_, true, false);
  if (path.empty()) return;
  bool made;
  {
    LongWork work(*this, tr("Creating AVI"));
    made = CreateAvi(*this, path);
  }
  if (made) ShowAnimation(path);
}

void CMainFrame::OnExport() { ExportCommand(*this); }

// Quick AVI Create, extraction, morphing and the converter: tool_commands.cpp.

void CMainFrame::OnMerge() {
  CMergeDlg dialog(doc_.host(), doc_.settings(), this);
  dialog.setMerge([this](const std::string& video, const std::string& sound, const std::string& output) {
    LongWork work(*this, tr("Merging"));
    const bool ok = MergeCommand(doc_.host(), video, sound, output);
    if (!work.cancelled()) SetStatusText(ok ? "Merged into " + output : "Merge failed");
    return ok;
  });
  dialog.exec();
  if (dialog.merged()) ShowAnimation(dialog.outputPath().toStdString());
}

void CMainFrame::OnAppExit() { close(); }

// ---- Edit menu

void CMainFrame::OnEditCut() {
  if (doc_.Cut()) RecordChange(tr("Cut Frame"));
}
void CMainFrame::OnEditCopy() { doc_.Copy(); }
// Undoing a paste keeps its picture file: a redo, or another project, may still use it.
void CMainFrame::OnEditPaste() {
  if (doc_.Paste()) RecordChange(tr("Paste Frame"));
}

void CMainFrame::OnEditUndo() {
  LeaveCountEditor();
  undo_->stack().undo();
}

void CMainFrame::OnEditRedo() {
  LeaveCountEditor();
  undo_->stack().redo();
}

void CMainFrame::LeaveCountEditor() {
  // A half-typed frame count belongs to the state being left.
  if (QWidget* editor = QApplication::focusWidget(); editor && panel_->grid()->isAncestorOf(editor))
    panel_->grid()->setFocus();
}

// ---- Options menu

void CMainFrame::OnAviSettings() { EditAviSettings(doc_.host(), aviCompressOptions_, doc_.programFolder()); }

void CMainFrame::OnLogo() {
  CLogoDlg dialog(doc_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  view_->ForgetCurrentPath();
  view_->update();
}

void CMainFrame::OnScreenColor() {
  ColorRef c = viewSettings_.crScreen;
  QColor chosen = QColorDialog::getColor(QColor(GetR(c), GetG(c), GetB(c)), this);
  if (!chosen.isValid()) return;
  viewSettings_.crScreen = Rgb(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue()));
  StoreScreenColor(doc_.settings(), viewSettings_.crScreen);
  view_->update();
}

void CMainFrame::OnFrameImages() {
  viewSettings_.bFrameImages = viewSettings_.bFrameImages ? 0 : 1;
  StoreFrameImages(doc_.settings(), viewSettings_.bFrameImages != 0);
  view_->repaint();
}

// ---- View menu

void CMainFrame::OnViewToolbar() { toolBar_->setVisible(toolBar_->isHidden()); }
void CMainFrame::OnViewStatusBar() { statusBar()->setVisible(statusBar()->isHidden()); }

void CMainFrame::OnViewZoomFit() { view_->ZoomToFit(); }
void CMainFrame::OnViewActualSize() { view_->ZoomActualSize(); }
void CMainFrame::OnViewZoomIn() { view_->ZoomIn(); }
void CMainFrame::OnViewZoomOut() { view_->ZoomOut(); }
void CMainFrame::OnViewThumbnails() { ShowThumbnails(!thumbnailsShown()); }

void CMainFrame::OnViewAnimation() {
  std::string path = ChooseAviFile(doc_.host(), doc_, false, false);
  if (!path.empty()) ShowAnimation(path);
}

void CMainFrame::ShowAnimation(const std::string& path) {
  ClosePreview();
  preview_ = new CPreviewWindow(QS(path));
  preview_->show();
}

void CMainFrame::ClosePreview() {
  if (preview_) {
    preview_->close();  // deletes itself on close
    preview_ = nullptr;
  }
}

// ---- Help menu

void CMainFrame::OnHelpManual() { OpenHelp({}, this); }
void CMainFrame::OnHelpTroubleshooting() { OpenHelp("#troubleshooting", this); }

void CMainFrame::OnHelpWebTutorial() { ShowHelpPage(this, "avitutor/index.htm"); }

void CMainFrame::OpenWebPage(int id) {
  const QString target = WebTarget(id);
  if (!target.isEmpty()) QDesktopServices::openUrl(QUrl(target));
}

void CMainFrame::OnAppAbout() {
  CAboutDlg dialog(this);
  dialog.exec();
}

void CMainFrame::OnNextPane() {
  // Two panes: the frame list and the view.
  if (panel_->grid()->hasFocus())
    view_->setFocus();
  else
    panel_->grid()->setFocus();
}

// ---- window layout

void CMainFrame::RestoreWindowLayout() {
  QSettings store = ProgramStore();
  QList<QRect> areas;
  for (QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
  QRect wanted = store.value(QLatin1String(kGeometryKey)).toRect();
  if (!wanted.isValid()) {
    // A little way in from the corner, where every window manager shows the title bar.
    const QPoint origin = areas.isEmpty() ? QPoint() : areas.first().topLeft();
    wanted = QRect(origin + QPoint(40, 40), QSize(600, 450));
  }
  setGeometry(PlaceOnScreen(wanted, areas));
  restoreState(store.value(QLatin1String(kStateKey)).toByteArray());
}

void CMainFrame::SaveWindowLayout() {
  QSettings store = ProgramStore();
  store.setValue(QLatin1String(kGeometryKey), geometry());
  store.setValue(QLatin1String(kStateKey), saveState());
}

// ---- recent files

QStringList CMainFrame::recentFiles() const {
  return ProgramStore().value(QLatin1String(kRecentKey)).toStringList();
}

void CMainFrame::AddRecentFile(const QString& path) {
  QString full = QFileInfo(path).absoluteFilePath();
  QStringList files = recentFiles();
  files.removeAll(full);
  files.prepend(full);
  while (files.size() > kMaxRecentFiles) files.removeLast();
  QSettings store = ProgramStore();
  store.setValue(QLatin1String(kRecentKey), files);
  RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
  if (!recentMenu_) return;
  for (QAction* a : recentActions_) {
    recentMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const QStringList files = recentFiles();
  int i = 0;
  for (const QString& file : files) {
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(++i).arg(QFileInfo(file).fileName()), this);
    a->setStatusTip(tr("Open %1").arg(file));
    a->setData(file);
    connect(a, &QAction::triggered, this, [this, file] { OpenDocumentFile(file); });
    recentMenu_->insertAction(recentSeparator_, a);
    recentActions_ << a;
  }
  recentSeparator_->setVisible(!files.isEmpty());
}

// ---- DocumentWindows

std::string CMainFrame::FpsText() const { return panel_->fpsText().toStdString(); }
void CMainFrame::SetFpsText(const std::string& text) { panel_->setFpsText(QS(text)); }
void CMainFrame::SetDepthButton(int bits) { panel_->setDepth(bits); }
void CMainFrame::UpdateSoundDisplay(const std::string& soundFile) {
  panel_->setSound(QS(soundFile));
  UpdateCommandUI();
}
CBmp* CMainFrame::ShownImage() { return &view_->bmpCurrent(); }
void CMainFrame::ClearShownImage() { view_->ClearImage(); }
void CMainFrame::RedrawView(bool) { view_->update(); }

// ---- window events

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (work_) {
    closeAfterWork_ = true;
    work_->RequestCancel();
    event->ignore();
    return;
  }
  closeAfterWork_ = false;
  if (!unattendedClose_ && !doc_.SaveModified([this] { return ChooseProjectSavePath(); })) {
    event->ignore();
    return;
  }
  ClosePreview();
  if (!settingsSaved_) {
    SaveWindowLayout();
    settingsSaved_ = true;
    SaveSettingsAtExit(doc_.settings());
  }
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (!work_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  OpenDroppedFiles(event->mimeData()->urls());
}

void CMainFrame::OpenDroppedFiles(const QList<QUrl>& urls) {
  if (work_) return;
  QStringList images;
  QString document;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (IsDocumentFile(path) && document.isEmpty())
      document = path;
    else if (IsImportableImage(path))
      images << path;
  }
  if (!document.isEmpty()) OpenDocumentFile(document);
  if (!images.isEmpty()) {
    AddImageFiles(images, -1, false);
    RecordChange(tr("Drop Images"));
  }
}

}  // namespace zr
