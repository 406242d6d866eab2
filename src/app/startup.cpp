#include "app/startup.h"

#include "app/document.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "platform/paths.h"

namespace zr {

const char* const kDisplayDepthWarning =
    "Your current settings indicate that color palette might not be rendered correctly. The "
    "Zerarive is designed to work with millions of colors (True color - 24 bits). To change the "
    "settings please open Control Panel/Display/Settings.";

namespace {

std::optional<int16_t> ReadOptionalInt(const SettingsFile& s, const char* section,
                                       const char* key) {
  int16_t value = 0;
  if (!s.ReadInt(section, key, value)) return std::nullopt;
  return value;
}

std::optional<ColorRef> ReadOptionalColor(const SettingsFile& s, const char* section,
                                          const char* key) {
  ColorRef value = 0;
  if (!s.ReadColor(section, key, value)) return std::nullopt;
  return value;
}

std::string ReadPathOrDefault(const SettingsFile& s, const char* section, const char* key) {
  std::string value;
  if (s.ReadString(section, key, value)) return value;
  const SettingKey* entry = FindSettingKey(section, key);
  return entry ? SettingDefault(*entry, s.programFolder()) : std::string();
}

}  // namespace

UnattendedJob ReadJob(const SettingsFile& s) {
  UnattendedJob job;
  job.importPath = ReadPathOrDefault(s, kSectionGeneral, kKeyImportPath);
  job.savePath = ReadPathOrDefault(s, kSectionGeneral, kKeySavePath);
  job.fps = ReadOptionalInt(s, kSectionGeneral, kKeyFps);
  job.bpp = ReadOptionalInt(s, kSectionGeneral, kKeyBpp);
  job.screenColor = ReadOptionalColor(s, kSectionGeneral, kKeyScreenColor);
  job.frameImages = ReadOptionalInt(s, kSectionGeneral, kKeyFrameImages);
  s.ReadString(kSectionGeneral, kKeySound, job.sound);
  job.autoStart = ReadOptionalInt(s, kSectionGeneral, kKeyAuto);
  s.ReadString(kSectionGeneral, kKeyOutput, job.output);

  job.useLogo = ReadOptionalInt(s, kSectionLogo, kKeyUseLogo);
  job.useTransparent = ReadOptionalInt(s, kSectionLogo, kKeyUseTransparent);
  job.xPos = ReadOptionalInt(s, kSectionLogo, kKeyXPos);
  job.yPos = ReadOptionalInt(s, kSectionLogo, kKeyYPos);
  job.colorFromLogo = ReadOptionalInt(s, kSectionLogo, kKeyColorFromLogo);
  job.transColor = ReadOptionalColor(s, kSectionLogo, kKeyTransColor);
  s.ReadString(kSectionLogo, kKeyLogoFile, job.logoFile);

  std::string path;
  for (int i = 0; i < kMaxImageKeys; ++i) {
    if (!s.ReadIndexed(kSectionImages, int16_t(i), path)) break;
    job.frames.push_back({FrameName(path, FrameNaming::TitleDotExtension), path});
  }
  return job;
}

void ApplyLogoSettings(const UnattendedJob& job, CTorvexerDoc& doc) {
  if (job.useLogo) doc.bUseLogo = *job.useLogo;
  if (job.useTransparent) doc.bUseTransparent = *job.useTransparent;
  if (job.xPos) doc.nXPos = *job.xPos;
  if (job.yPos) doc.nYPos = *job.yPos;
  if (job.colorFromLogo) doc.bColorFromLogo = *job.colorFromLogo;
  if (job.transColor) doc.crTrans = *job.transColor;
  doc.sLogoFile = job.logoFile;
}

void ApplyJob(const UnattendedJob& job, CTorvexerDoc& doc, ViewSettings& view, bool keepProject) {
  doc.sImportPath = job.importPath;
  doc.sSavePath = job.savePath;
  if (!keepProject) {
    doc.nFps = job.fps.value_or(10);
    doc.nBpp = job.bpp.value_or(24);
    doc.sSoundFile = job.sound;
  }
  if (job.screenColor) view.crScreen = *job.screenColor;
  if (job.frameImages) view.bFrameImages = *job.frameImages;
  if (job.autoStart) view.bAuto = *job.autoStart;
  doc.sOutput = job.output;
  ApplyLogoSettings(job, doc);

  std::vector<std::string> paths;
  for (const JobFrame& f : job.frames) paths.push_back(f.path);
  doc.AddImages(paths, FrameNaming::TitleDotExtension, FrameOrder::AsGiven, 1);
}

bool OpenCommandLineFile(CTorvexerDoc& doc, const std::string& arg) {
  if (arg.empty()) return true;
  return doc.OnOpenDocument(arg);
}

StartupResult FirstPaintStartup(CTorvexerDoc& doc, ViewSettings& view) {
  StartupResult result;
  if (doc.sIniFile.empty()) doc.sIniFile = doc.programFolder() + "Zerarive.ini";
  // Only an opened project has a path before the first paint.
  const bool keepProject = !doc.GetPathName().empty();
  if (!keepProject) doc.frames.Reset();
  SettingsFile& settings = doc.settings();
  result.settingsLoaded = settings.Load(doc.sIniFile, false);
  result.job = ReadJob(settings);
  ApplyJob(result.job, doc, view, keepProject);
  doc.PrepareLogo();
  doc.UpdatePanel();
  result.startJob = view.bAuto != 0;
  if (result.startJob) doc.SetUnattended(true);
  // What start-up brought in is what the user starts from, not an edit to save.
  doc.SetModifiedFlag(false);
  return result;
}

void StoreScreenColor(SettingsFile& settings, ColorRef color) {
  settings.WriteColor(kSectionGeneral, kKeyScreenColor, color);
}

void StoreFrameImages(SettingsFile& settings, bool on) {
  settings.WriteInt(kSectionGeneral, kKeyFrameImages, on ? 1 : 0);
}

void StoreImportPath(SettingsFile& settings, const std::string& folder) {
  settings.WriteString(kSectionGeneral, kKeyImportPath, folder);
}

void StoreSavePath(SettingsFile& settings, const std::string& folder) {
  settings.WriteString(kSectionGeneral, kKeySavePath, folder);
}

bool StoreLogoSettings(CTorvexerDoc& doc) {
  SettingsFile& s = doc.settings();
  s.WriteInt(kSectionLogo, kKeyUseLogo, doc.bUseLogo);
  s.WriteInt(kSectionLogo, kKeyUseTransparent, doc.bUseTransparent);
  s.WriteInt(kSectionLogo, kKeyXPos, doc.nXPos);
  s.WriteInt(kSectionLogo, kKeyYPos, doc.nYPos);
  s.WriteInt(kSectionLogo, kKeyColorFromLogo, doc.bColorFromLogo);
  s.WriteColor(kSectionLogo, kKeyTransColor, doc.crTrans);
  s.WriteString(kSectionLogo, kKeyLogoFile, doc.sLogoFile);
  return s.Save();
}

std::string MorphFolder(const SettingsFile& settings, const char* key) {
  return ReadPathOrDefault(settings, kSectionMorph, key);
}

bool StoreMorphFolder(SettingsFile& settings, const char* key, const std::string& folder) {
  settings.WriteString(kSectionMorph, key, folder);
  return settings.Save();
}

bool SaveSettingsAtExit(SettingsFile& settings) { return settings.Save(); }

}  // namespace zr
