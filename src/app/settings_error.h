// Why a settings file could not be read. The text itself never fails: lines the format
// does not know are skipped as they always were.
#pragma once

namespace zr {

enum class SettingsError {
  None,
  CannotOpen,  // missing, unreadable, or not a regular file
  TooLarge,    // beyond the size a settings file may have
  ShortRead,   // the file ended before its stated size was read
};

inline const char* SettingsErrorText(SettingsError error) {
  switch (error) {
    case SettingsError::None: return "no error";
    case SettingsError::CannotOpen: return "cannot open the settings file";
    case SettingsError::TooLarge: return "settings file too large";
    case SettingsError::ShortRead: return "settings file could not be read to its end";
  }
  return "unknown error";
}

}  // namespace zr
