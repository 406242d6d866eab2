// Every persistent setting: section, key, value form, default and what happens when the
// key is missing at start-up. One table, read by start-up and by the writers below.
#pragma once

#include <span>
#include <string>

#include "platform/raster.h"

namespace zr {

inline constexpr const char* kSectionGeneral = "General";
inline constexpr const char* kSectionLogo = "Logo";
inline constexpr const char* kSectionMorph = "Morph";
inline constexpr const char* kSectionImages = "Images";
inline constexpr const char* kSectionConverter = "Converter";
inline constexpr const char* kKeyHighQuality = "bHighQuality";  // 0/1, default 0

inline constexpr const char* kKeyImportPath = "ImportPath";
inline constexpr const char* kKeySavePath = "SavePath";
inline constexpr const char* kKeyFps = "FPS";
inline constexpr const char* kKeyBpp = "BPP";
inline constexpr const char* kKeyScreenColor = "ScreenColor";
inline constexpr const char* kKeyFrameImages = "FrameImages";
inline constexpr const char* kKeySound = "Sound";
inline constexpr const char* kKeyAuto = "Auto";
inline constexpr const char* kKeyOutput = "Output";
inline constexpr const char* kKeyUseLogo = "bUseLogo";
inline constexpr const char* kKeyUseTransparent = "bUseTransparent";
inline constexpr const char* kKeyXPos = "nXPos";
inline constexpr const char* kKeyYPos = "nYPos";
inline constexpr const char* kKeyColorFromLogo = "bColorFromLogo";
inline constexpr const char* kKeyTransColor = "crTrans";
inline constexpr const char* kKeyLogoFile = "sLogoFile";
inline constexpr const char* kKeyMorphDirLog = "DirLog";
inline constexpr const char* kKeyMorphDir = "Dir";

// The "Images" list is read while its index is below this.
inline constexpr int kMaxImageKeys = 25000;

enum class SettingType { FolderPath, FilePath, Decimal, Color, ImageList };

// What a missing key does at start-up.
enum class WhenAbsent {
  UseDefault,  // the default of the table (program-folder defaults included)
  Keep,        // the field keeps its value
  Empty,       // string fields become empty
  EndOfList,   // the list ends at the first missing index
};

struct SettingKey {
  const char* section;
  const char* key;  // for the list, the first index
  SettingType type;
  const char* defaultValue;  // program-folder defaults name only the sub-folder
  bool defaultInProgramFolder;
  WhenAbsent whenAbsent;
  const char* heldIn;
};

std::span<const SettingKey> SettingKeys();
// The entry for section/key, or null.
const SettingKey* FindSettingKey(const std::string& section, const std::string& key);
// The default as the program uses it: program-folder defaults become absolute in
// `programFolder` (ending in '/').
std::string SettingDefault(const SettingKey& key, const std::string& programFolder);

inline constexpr ColorRef kDefaultScreenColor = Rgb(192, 192, 192);

}  // namespace zr
