#include "app/settings_file.h"

#include <unistd.h>

#include <filesystem>
#include <span>

#include "platform/atomic_file.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

namespace {

// A settings file is a few kilobytes; this only keeps a stray huge file out of memory.
constexpr size_t kMaxSettingsBytes = size_t(64) << 20;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string Replace(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

}  // namespace

int32_t AtoiText(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + uint32_t(text[i] - '0');
  return int32_t(negative ? 0u - value : value);
}

bool SettingsFile::Load(const std::string& path, bool readOnly, SettingsError* error) {
  writable_ = !readOnly;
  path_ = path;
  auto fail = [&](SettingsError e) {
    if (error) *error = e;
    return false;
  };
  if (error) *error = SettingsError::None;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return fail(SettingsError::CannotOpen);
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxSettingsBytes) return fail(SettingsError::TooLarge);
  std::string text;
  if (!ReadWholeFile(path, text, kMaxSettingsBytes))
    return fail(::access(path.c_str(), R_OK) != 0 ? SettingsError::CannotOpen
                                                  : SettingsError::ShortRead);
  LoadText(text);
  return true;
}

void SettingsFile::LoadText(const std::string& text) {
  std::string section;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']', 1);
      section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      continue;
    }
    if (section.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      WriteString(section, LowerAscii(line), line, false);
    else
      WriteString(section, line.substr(0, eq), line.substr(eq + 1), false);
  }
  dirty_ = false;
}

std::string SettingsFile::Serialize() const {
  std::string out;
  for (const auto& [name, entries] : sections_) {
    out += "[" + name + "]\n";
    for (const auto& [key, value] : entries) out += key + "=" + value + "\n";
  }
  return out;
}

bool SettingsFile::Save() {
  if (!writable_ || !dirty_) return true;
  if (path_.empty()) return false;
  std::string text = Serialize();
  int error = 0;
  if (WriteFileAtomic(path_, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                      &error)) {
    return true;
  }
  // Every caller saves in passing; the reason is told here once, not by each of them.
  host_->Message("Error: " + CannotWriteText(path_, error));
  return false;
}

void SettingsFile::Reset() {
  path_.clear();
  sections_.clear();
  writable_ = true;
  dirty_ = false;
}

bool SettingsFile::ReadString(const std::string& section, const std::string& key, std::string& out,
                              bool multiLine) const {
  out.clear();
  auto s = sections_.find(section);
  if (s == sections_.end()) return false;
  auto e = s->second.find(key);
  if (e == s->second.end()) return false;
  out = multiLine ? Replace(e->second, '`', '\n') : e->second;
  return true;
}

bool SettingsFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, bool multiLine) {
  Section& entries = sections_[section];
  if (value.empty())
    entries.erase(key);
  else
    entries[key] = multiLine ? Replace(value, '\n', '`') : value;
  dirty_ = true;
  return true;
}

bool SettingsFile::ReadInt(const std::string& section, const std::string& key, int16_t& out) const {
  std::string text;
  if (!ReadString(section, key, text)) return false;
  out = int16_t(uint16_t(uint32_t(AtoiText(text))));
  return true;
}

bool SettingsFile::WriteInt(const std::string& section, const std::string& key, int16_t value) {
  return WriteString(section, key, std::to_string(int(value)));
}

bool SettingsFile::ReadColor(const std::string& section, const std::string& key,
                             ColorRef& out) const {
  std::string rest;
  if (!ReadString(section, key, rest)) return false;
  // A token without its comma keeps its previous text: empty for red, red's for green.
  std::string red, green;
  if (size_t comma = rest.find(','); comma != std::string::npos) {
    red = rest.substr(0, comma);
    rest = rest.substr(comma + 1);
  }
  green = red;
  if (size_t comma = rest.find(','); comma != std::string::npos) {
    green = rest.substr(0, comma);
    rest = rest.substr(comma + 1);
  }
  out = Rgb(uint8_t(AtoiText(red)), uint8_t(AtoiText(green)), uint8_t(AtoiText(rest)));
  return true;
}

bool SettingsFile::WriteColor(const std::string& section, const std::string& key, ColorRef color) {
  return WriteString(section, key,
                     std::to_string(GetR(color)) + "," + std::to_string(GetG(color)) + "," +
                         std::to_string(GetB(color)));
}

bool SettingsFile::ReadIndexed(const std::string& section, int16_t index, std::string& out) const {
  return ReadString(section, std::to_string(int(index)), out);
}

const std::string& SettingsFile::programFolder() const {
  return programFolder_.empty() ? ProgramFolder() : programFolder_;
}

void SettingsFile::UseProgramFolder(const std::string& folder) {
  programFolder_ = folder;
  if (!programFolder_.empty() && programFolder_.back() != '/') programFolder_ += '/';
}

}  // namespace zr
