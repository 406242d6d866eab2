// Settings reader: any text must load, and what the store writes must read back to the
// same store (sections left empty by removed keys are written but not re-created).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings_file.h"
#include "app/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  zr::SettingsFile first;
  first.LoadText(text);
  for (const auto& [section, entries] : first.sections())
    for (const auto& [key, value] : entries) {
      int16_t n = 0;
      zr::ColorRef c = 0;
      std::string s;
      first.ReadInt(section, key, n);
      first.ReadColor(section, key, c);
      first.ReadString(section, key, s, true);
    }
  zr::UnattendedJob job = zr::ReadJob(first);
  (void)job;

  zr::SettingsFile second;
  second.LoadText(first.Serialize());
  zr::SettingsFile third;
  third.LoadText(second.Serialize());
  if (second.sections() != third.sections() || second.Serialize() != third.Serialize())
    std::abort();
  for (const auto& [section, entries] : first.sections()) {
    if (entries.empty()) continue;
    auto it = second.sections().find(section);
    if (it == second.sections().end() || it->second != entries) std::abort();
  }
  return 0;
}
