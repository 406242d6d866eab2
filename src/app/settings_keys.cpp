#include "app/settings_keys.h"

#include "platform/paths.h"

namespace zr {

namespace {

using T = SettingType;
using A = WhenAbsent;

constexpr SettingKey kKeys[] = {
    {kSectionGeneral, kKeyImportPath, T::FolderPath, "Images", true, A::UseDefault, "sImportPath"},
    {kSectionGeneral, kKeySavePath, T::FolderPath, "Avi", true, A::UseDefault, "sSavePath"},
    // A project named on the command line keeps its own fps, depth and sound instead.
    {kSectionGeneral, kKeyFps, T::Decimal, "10", false, A::UseDefault, "nFps"},
    {kSectionGeneral, kKeyBpp, T::Decimal, "24", false, A::UseDefault, "nBpp"},
    {kSectionGeneral, kKeyScreenColor, T::Color, "192,192,192", false, A::Keep, "crScreen"},
    {kSectionGeneral, kKeyFrameImages, T::Decimal, "1", false, A::Keep, "bFrameImages"},
    {kSectionGeneral, kKeySound, T::FilePath, "", false, A::Empty, "sSoundFile"},
    {kSectionGeneral, kKeyAuto, T::Decimal, "0", false, A::Keep, "bAuto"},
    {kSectionGeneral, kKeyOutput, T::FilePath, "", false, A::Empty, "sOutput"},
    {kSectionLogo, kKeyUseLogo, T::Decimal, "1", false, A::Keep, "bUseLogo"},
    {kSectionLogo, kKeyUseTransparent, T::Decimal, "0", false, A::Keep, "bUseTransparent"},
    {kSectionLogo, kKeyXPos, T::Decimal, "0", false, A::Keep, "nXPos"},
    {kSectionLogo, kKeyYPos, T::Decimal, "0", false, A::Keep, "nYPos"},
    {kSectionLogo, kKeyColorFromLogo, T::Decimal, "0", false, A::Keep, "bColorFromLogo"},
    {kSectionLogo, kKeyTransColor, T::Color, "0,0,0", false, A::Keep, "crTrans"},
    {kSectionLogo, kKeyLogoFile, T::FilePath, "", false, A::Empty, "sLogoFile"},
    {kSectionMorph, kKeyMorphDirLog, T::FolderPath, "Morph", true, A::UseDefault,
     "(read when needed)"},
    {kSectionMorph, kKeyMorphDir, T::FolderPath, "Morph", true, A::UseDefault,
     "(read when needed)"},
    {kSectionImages, "0", T::ImageList, "", false, A::EndOfList, "frame list"},
};

}  // namespace

std::span<const SettingKey> SettingKeys() { return kKeys; }

const SettingKey* FindSettingKey(const std::string& section, const std::string& key) {
  for (const SettingKey& k : SettingKeys())
    if (section == k.section && key == k.key) return &k;
  return nullptr;
}

std::string SettingDefault(const SettingKey& key, const std::string& programFolder) {
  return key.defaultInProgramFolder ? programFolder + key.defaultValue : key.defaultValue;
}

}  // namespace zr
