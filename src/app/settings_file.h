// The program's own store of persistent settings: sections of key=value text, read once,
// changed in memory and written back whole. Text is kept as bytes, so UTF-8 paths pass
// through unchanged. Failures are return values only; nothing is shown to the user.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "app/settings_error.h"
#include "platform/host.h"
#include "platform/raster.h"

namespace zr {

class SettingsFile {
 public:
  using Section = std::map<std::string, std::string>;

  // Adds the file's entries to what the store holds (it is not emptied first). Path and
  // writability are set before the file is opened, so a later Save targets `path` even
  // when this fails. Returns false when the file cannot be read (error says why).
  bool Load(const std::string& path, bool readOnly, SettingsError* error = nullptr);
  // Writes the whole store when writable and dirty, through a temporary file renamed over
  // the old one; otherwise does nothing and returns true. Dirty stays set.
  bool Save();

  // `out` is emptied first. multiLine turns every '`' back into a line feed.
  bool ReadString(const std::string& section, const std::string& key, std::string& out,
                  bool multiLine = false) const;
  // An empty value removes the key; the section is created either way.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   bool multiLine = false);
  // atoi of the text, truncated to 16 bits; `out` is unchanged when the key is absent.
  bool ReadInt(const std::string& section, const std::string& key, int16_t& out) const;
  bool WriteInt(const std::string& section, const std::string& key, int16_t value);
  // "r,g,b" with the quirky splitting of the file format ("255" is 0,0,255; "10,20" is
  // 10,10,20); `out` is unchanged when the key is absent.
  bool ReadColor(const std::string& section, const std::string& key, ColorRef& out) const;
  bool WriteColor(const std::string& section, const std::string& key, ColorRef color);
  // Key "%d" of the 16-bit index.
  bool ReadIndexed(const std::string& section, int16_t index, std::string& out) const;

  const std::string& path() const { return path_; }
  bool writable() const { return writable_; }
  bool dirty() const { return dirty_; }
  const std::map<std::string, Section>& sections() const { return sections_; }
  // The text Save writes (LF line ends; the platform's text mode).
  std::string Serialize() const;
  // Adds entries from text as Load does (for tests, fuzzing and in-memory jobs).
  void LoadText(const std::string& text);
  // Where Save tells why it failed; silent until a front end attaches one.
  void AttachHost(Host& host) { host_ = &host; }
  // The front end's host: dialogs that store their folders here ask through it too.
  Host& host() const { return *host_; }

  // Forgets every entry and where the file is; the program folder and host stay.
  void Reset();

  // Where defaults "in the program folder" resolve: the executable's folder unless a
  // front end or a test gives its own.
  const std::string& programFolder() const;
  void UseProgramFolder(const std::string& folder);

 private:
  std::string path_;
  std::map<std::string, Section> sections_;
  bool writable_ = true;
  bool dirty_ = false;
  std::string programFolder_;  // empty: the executable's
  Host* host_ = &NullHost();
};

// The C library's atoi rules without its undefined overflow: leading white space, an
// optional sign, leading digits; no digits gives 0. Wraps like a 32-bit register.
int32_t AtoiText(const std::string& text);

}  // namespace zr
