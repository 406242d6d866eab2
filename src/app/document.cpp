#include "app/document.h"

#include <algorithm>
#include <cstdio>

#include "app/archive.h"
#include "app/settings_file.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "image/transparent_image.h"
#include "platform/atomic_file.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

namespace {

// Projects are a few kilobytes; the cap only keeps a stray huge file out of memory.
constexpr size_t kMaxProjectBytes = size_t(256) << 20;

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

}  // namespace

struct CTorvexerDoc::LogoImages {
  CBmp bmpLogo;
  TransparentImage tiLogo;
  std::string failure;
};

std::string SaveChangesQuestion(const std::string& title) {
  return "Save changes to " + title + "?";
}

bool SameProject(const ProjectState& a, const ProjectState& b) {
  return a.rows == b.rows && a.images == b.images && a.fpsText == b.fpsText && a.bpp == b.bpp &&
         a.sound == b.sound;
}

std::string SoundDisplayName(const std::string& soundFile) { return PathFileName(soundFile); }

CTorvexerDoc::CTorvexerDoc(DocumentWindows* windows) : logo_(std::make_unique<LogoImages>()) {
  SetWindows(windows);
  saved_ = TakeSnapshot();
}

CTorvexerDoc::~CTorvexerDoc() = default;

void CTorvexerDoc::SetWindows(DocumentWindows* windows) {
  if (windows) {
    windows_ = windows;
    ownWindows_.reset();
  } else {
    ownWindows_ = std::make_unique<HeadlessWindows>();
    windows_ = ownWindows_.get();
  }
}

std::string CTorvexerDoc::GetImagePath(const std::string& name) const {
  auto it = mapImages.find(name);
  return it == mapImages.end() ? std::string() : it->second;
}

void CTorvexerDoc::SetImagePath(const std::string& name, const std::string& path) {
  mapImages[name] = path;
}

std::string CTorvexerDoc::GetCurrentImagePath() const {
  if (!frames.HasCurrentRow()) return {};
  return GetImagePath(frames.Name(frames.CurrentRow()));
}

std::string FrameName(const std::string& path, FrameNaming naming) {
  if (naming == FrameNaming::TitleDotExtension) return PathTitle(path) + "." + PathExtension(path);
  return PathFileName(path);
}

int CTorvexerDoc::AddImages(const std::vector<std::string>& paths, FrameNaming naming,
                            FrameOrder order, int frameCount, int after) {
  std::vector<std::string> names;
  names.reserve(paths.size());
  for (const std::string& path : paths) {
    names.push_back(FrameName(path, naming));
    SetImagePath(names.back(), path);
  }
  // std::string compares as unsigned bytes, which is the import's order.
  if (order == FrameOrder::ByNameBytes) std::sort(names.begin(), names.end());
  if (after < 1 || after > frames.FrameCount()) after = -1;
  int row = -1;
  for (const std::string& name : names) {
    row = frames.AddFrameRow(name, after, frameCount);
    if (after >= 0) after = row;
  }
  return row;
}

// ---------------------------------------------------------------- logo

void CTorvexerDoc::PrepareLogo() {
  logo_->failure.clear();
  if (!bUseLogo) return;
  ImageFailure failure;
  bool loaded;
  if (bUseTransparent) {
    if (bColorFromLogo)
      loaded = logo_->tiLogo.LoadWithPixelColor(sLogoFile, 0, 0, false, &failure);
    else
      loaded = logo_->tiLogo.LoadWithColor(sLogoFile, crTrans, false, &failure);
  } else {
    loaded = logo_->bmpLogo.Load(sLogoFile, &failure);
  }
  // A built-in name ("<LOGO") is never loaded here: no logo, and nothing wrong.
  if (!loaded && !sLogoFile.empty() && sLogoFile[0] != '<')
    logo_->failure = "Logo " + sLogoFile + ": " + failure.detail;
}

const std::string& CTorvexerDoc::logoFailure() const { return logo_->failure; }

void CTorvexerDoc::ApplyLogo(CBmp& bitmap) const {
  if (!bUseLogo || bitmap.empty()) return;
  if (bUseTransparent) {
    if (!logo_->tiLogo.empty()) logo_->tiLogo.DrawInto(bitmap.bitmap(), nXPos, nYPos);
  } else if (!logo_->bmpLogo.empty()) {
    CBmp::CopyRect(logo_->bmpLogo, bitmap, nXPos, nYPos);
  }
}

const CBmp& CTorvexerDoc::bmpLogo() const { return logo_->bmpLogo; }

bool CTorvexerDoc::HasLogoImage() const {
  return bUseTransparent ? !logo_->tiLogo.empty() : !logo_->bmpLogo.empty();
}

// ---------------------------------------------------------------- panel

void CTorvexerDoc::UpdatePanel() {
  windows_->SetDepthButton(nBpp == 8 ? 8 : nBpp == 16 ? 16 : 24);
  windows_->SetFpsText(std::to_string(int(nFps)));
  windows_->UpdateSoundDisplay(sSoundFile);
  frames.SetCurrentCell(1, 1);
  windows_->RedrawView(false);
}

int16_t CTorvexerDoc::ReadFpsFromPanel() {
  nFps = int16_t(uint16_t(uint32_t(AtoiText(windows_->FpsText()))));
  return nFps;
}

// ---------------------------------------------------------------- frame operations

bool CTorvexerDoc::DeleteFrame() {
  if (!frames.DeleteCurrent()) return false;
  windows_->RedrawView(true);
  return true;
}

bool CTorvexerDoc::MoveFrameUp() { return frames.MoveUp(); }
bool CTorvexerDoc::MoveFrameDown() { return frames.MoveDown(); }
bool CTorvexerDoc::MoveFrameToFirst() { return frames.MoveToFirst(); }
bool CTorvexerDoc::MoveFrameToLast() { return frames.MoveToLast(); }

bool CTorvexerDoc::Copy() {
  CBmp* image = windows_->ShownImage();
  if (!CanCutOrCopy() || !image || image->empty()) return false;
  // The view stamps the logo when it draws; stamping again gives the same pixels, and
  // makes sure the clipboard gets what the user sees.
  ApplyLogo(*image);
  return image->CopyToClipboard(host());
}

bool CTorvexerDoc::Cut() {
  // Deleting only after the clipboard took the image: otherwise the frame would be lost.
  if (!Copy()) return false;
  DeleteFrame();
  return true;
}

bool CTorvexerDoc::Paste() {
  CBmp* image = windows_->ShownImage();
  if (!image || !image->PasteFromClipboard(host())) return false;
  const std::string folder = programFolder() + "Images/";
  std::string name, path;
  do {
    name = "Image" + std::to_string(nPasteCount++) + ".bmp";
    path = folder + name;
  } while (FileExists(path));
  MakeFolders(folder);
  ImageFailure failure;
  if (!image->Save(path, &failure)) {
    // A row whose file does not exist would lose the pasted picture without a word.
    host().Message("Error: " + CannotWriteText(path, failure.error));
    return false;
  }
  SetImagePath(name, path);
  int current = frames.CurrentRow();
  int n = frames.FrameCount();
  int row = (current > 0 && current < n) ? frames.AddFrameRow(name, current, 1)
                                         : frames.AddFrameRow(name, -1, 1);
  frames.SetCurrentCell(row, 0);
  windows_->RedrawView(false);
  return true;
}

void CTorvexerDoc::NewProject() {
  frames.Reset();
  // The path stays empty (not "Untitled") so that Save asks for a name instead of
  // writing a file called Untitled into the working folder.
  pathName_.clear();
  title_ = kUntitled;
  sSoundFile.clear();
  windows_->ClearShownImage();
  windows_->RedrawView(true);
  windows_->UpdateSoundDisplay(sSoundFile);
  modified_ = false;
  saved_ = TakeSnapshot();
  if (tracker_) tracker_->Restarted();
}

ProjectState CTorvexerDoc::CaptureState() const {
  ProjectState state;
  state.rows.reserve(size_t(frames.FrameCount()));
  for (int r = 1; r <= frames.FrameCount(); ++r)
    state.rows.emplace_back(frames.Name(r), frames.Text(r, FrameList::kFramesColumn));
  state.images = mapImages;
  state.fpsText = windows_->FpsText();
  state.bpp = nBpp;
  state.sound = sSoundFile;
  state.currentRow = frames.CurrentRow();
  return state;
}

void CTorvexerDoc::RestoreState(const ProjectState& state) {
  frames.Reset();
  for (const auto& [name, count] : state.rows) {
    const int row = frames.AddFrameRow(name, -1, 1);
    frames.SetText(row, FrameList::kFramesColumn, count);
  }
  mapImages = state.images;
  nBpp = state.bpp;
  windows_->SetDepthButton(nBpp == 8 ? 8 : nBpp == 16 ? 16 : 24);
  windows_->SetFpsText(state.fpsText);
  ReadFpsFromPanel();
  sSoundFile = state.sound;
  windows_->UpdateSoundDisplay(sSoundFile);
  if (state.currentRow >= 1 && state.currentRow <= frames.FrameCount())
    frames.SetCurrentCell(state.currentRow, FrameList::kNameColumn);
  else
    frames.ClearCurrent();
  windows_->RedrawView(true);
}

void CTorvexerDoc::SetDepth(int bits) { nBpp = int16_t(bits); }

void CTorvexerDoc::AttachSound(const std::string& path) {
  if (path.empty()) return;
  sSoundFile = path;
  windows_->UpdateSoundDisplay(sSoundFile);
}

void CTorvexerDoc::DetachSound() {
  sSoundFile.clear();
  windows_->UpdateSoundDisplay(sSoundFile);
}

// ---------------------------------------------------------------- files

ProjectRead CTorvexerDoc::Serialize(Archive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(kMagic);
    ar.WriteWord(uint16_t(kVersion));
    ar.WriteString(sSoundFile);
    ar.WriteDword(uint32_t(frames.FrameCount()));
    ar.WriteWord(uint16_t(ReadFpsFromPanel()));
    ar.WriteWord(uint16_t(nBpp));
    for (int r = 1; r <= frames.FrameCount(); ++r) {
      const std::string& name = frames.Name(r);
      ar.WriteString(name);
      ar.WriteString(GetImagePath(name));
      ar.WriteDword(uint32_t(AtoiText(frames.Text(r, FrameList::kFramesColumn))));
    }
    return ProjectRead::Ok;
  }

  frames.Reset();
  std::string magic;
  if (!ar.ReadString(magic)) return ProjectRead::Truncated;
  if (magic != kMagic) {
    host().Message("Unknown file format");
    return ProjectRead::UnknownFormat;
  }
  uint16_t word;
  if (!ar.ReadWord(word)) return ProjectRead::Truncated;
  const int16_t version = int16_t(word);
  fileVersion_ = version;
  if (version > kVersion) {
    host().Message("Unsupported file version");
    return ProjectRead::UnsupportedVersion;
  }
  if (version >= 20) {
    std::string sound;
    if (!ar.ReadString(sound)) return ProjectRead::Truncated;
    sSoundFile = sound;
  }
  uint32_t count;
  if (!ar.ReadDword(count)) return ProjectRead::Truncated;
  if (!ar.ReadWord(word)) return ProjectRead::Truncated;
  nFps = int16_t(word);
  if (!ar.ReadWord(word)) return ProjectRead::Truncated;
  nBpp = int16_t(word);
  // A hostile count costs nothing: each record reads from the data, which runs out first.
  for (int32_t i = 0; i < int32_t(count); ++i) {
    std::string name, path;
    if (!ar.ReadString(name) || !ar.ReadString(path)) return ProjectRead::Truncated;
    SetImagePath(name, path);
    uint32_t frameCount = 1;
    if (version >= 30 && !ar.ReadDword(frameCount)) return ProjectRead::Truncated;
    frames.AddFrameRow(name, -1, int(int32_t(frameCount)));
  }
  UpdatePanel();
  return ProjectRead::Ok;
}

void CTorvexerDoc::SetPathName(const std::string& path) {
  pathName_ = path;
  title_ = path.empty() ? std::string(kUntitled) : PathFileName(path);
}

bool CTorvexerDoc::OnOpenDocument(const std::string& path) {
  if (LowerAscii(PathExtension(path)) == "ini") {
    sIniFile = path;
    return true;
  }
  std::string data;
  if (!ReadWholeFile(path, data, kMaxProjectBytes)) {
    lastRead_ = ProjectRead::CannotRead;
    host().Message("Cannot open the project " + path + ".");
    return false;
  }
  Archive ar(data);
  ProjectRead result = Serialize(ar);
  lastRead_ = result;
  if (result == ProjectRead::Truncated) {
    host().Message("Unexpected end of file while reading " + path + ".");
    // What was read replaced the old project; saving it must not look optional.
    if (tracker_) tracker_->Restarted();
    modified_ = true;
    return false;
  }
  // A wrong magic or version still counts as opened, with an empty list.
  SetPathName(path);
  modified_ = false;
  saved_ = TakeSnapshot();
  if (tracker_) tracker_->Restarted();
  return true;
}

bool CTorvexerDoc::OnSaveDocument(const std::string& path) {
  Archive ar;
  Serialize(ar);
  const std::string& bytes = ar.bytes();
  int error = 0;
  if (!WriteFileAtomic(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                       &error)) {
    host().Message("Error: " + CannotWriteText(path, error));
    return false;
  }
  SetPathName(path);
  modified_ = false;
  saved_ = TakeSnapshot();
  if (tracker_) tracker_->Saved();
  return true;
}

// ---------------------------------------------------------------- unsaved changes

CTorvexerDoc::Snapshot CTorvexerDoc::TakeSnapshot() const {
  Snapshot s;
  s.revision = frames.revision();
  s.fps = int16_t(uint16_t(uint32_t(AtoiText(windows_->FpsText()))));
  s.bpp = nBpp;
  s.sound = sSoundFile;
  return s;
}

bool CTorvexerDoc::IsModified() const {
  if (modified_) return true;
  if (tracker_) return tracker_->HasUnsavedChanges();
  Snapshot now = TakeSnapshot();
  return now.revision != saved_.revision || now.fps != saved_.fps || now.bpp != saved_.bpp ||
         now.sound != saved_.sound;
}

void CTorvexerDoc::SetModifiedFlag(bool modified) {
  modified_ = modified;
  if (!modified) {
    saved_ = TakeSnapshot();
    if (tracker_) tracker_->Saved();
  }
}

bool CTorvexerDoc::SaveModified(const std::function<std::string()>& chooseSavePath) {
  if (unattended_ || !IsModified()) return true;
  switch (host().AskYesNoCancel(SaveChangesQuestion(title_))) {
    case Answer::No:
      return true;
    case Answer::Yes: {
      std::string path = pathName_;
      if (path.empty() && chooseSavePath) path = chooseSavePath();
      if (path.empty()) return false;
      return OnSaveDocument(path);
    }
    default:
      return false;
  }
}

}  // namespace zr
