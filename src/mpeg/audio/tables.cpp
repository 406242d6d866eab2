#include "mpeg/audio/tables.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <mutex>

extern const unsigned char zr_data_window[];
extern const std::size_t zr_data_window_size;
extern const unsigned char zr_data_layer2_tables[];
extern const std::size_t zr_data_layer2_tables_size;

namespace zr::mpeg::audio {

namespace {

std::vector<double> Numbers(std::string_view text) {
  std::vector<double> out;
  size_t i = 0;
  while (i < text.size()) {
    bool neg = text[i] == '-' && i + 1 < text.size() && std::isdigit((unsigned char)text[i + 1]);
    if (std::isdigit((unsigned char)text[i]) || neg) {
      size_t j = i + (neg ? 1 : 0);
      while (j < text.size() && (std::isdigit((unsigned char)text[j]) || text[j] == '.')) ++j;
      out.push_back(std::strtod(std::string(text.substr(i, j - i)).c_str(), nullptr));
      i = j;
    } else {
      ++i;
    }
  }
  return out;
}

// Body of the "## title" section (up to the next "## ").
std::string_view Section(std::string_view md, std::string_view title) {
  std::string head = "\n## " + std::string(title);
  size_t at = md.find(head);
  if (at == std::string_view::npos) return {};
  size_t body = md.find('\n', at + 1);
  if (body == std::string_view::npos) return {};
  size_t end = md.find("\n## ", body);
  return md.substr(body, end == std::string_view::npos ? std::string_view::npos : end - body);
}

std::vector<std::string> TableRow(std::string_view line) {
  std::vector<std::string> cells;
  if (line.empty() || line[0] != '|') return cells;
  size_t pos = 1;
  while (pos < line.size()) {
    size_t bar = line.find('|', pos);
    if (bar == std::string_view::npos) break;
    std::string cell(line.substr(pos, bar - pos));
    size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
    cells.push_back(a == std::string::npos ? std::string() : cell.substr(a, b - a + 1));
    pos = bar + 1;
  }
  return cells;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    out.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return out;
}

bool IsInt(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool ParseClasses(std::string_view sec, Layer2Tables& t, std::string& error) {
  int found = 0;
  for (std::string_view line : Lines(sec)) {
    auto cells = TableRow(line);
    if (cells.size() != 4 || !IsInt(cells[0]) || !IsInt(cells[1]) || !IsInt(cells[3])) continue;
    int c = std::atoi(cells[0].c_str());
    if (c != found || c >= kClasses) {
      error = "quantisation class rows out of order";
      return false;
    }
    QuantClass& q = t.classes[c];
    q.steps = std::atoi(cells[1].c_str());
    q.grouped = cells[2] == "yes";
    q.bits = std::atoi(cells[3].c_str());
    q.msbBits = 0;
    while ((1 << q.msbBits) < q.steps) ++q.msbBits;
    q.a = double(q.steps) / double(1 << q.msbBits);
    q.b = q.a - 1.0;
    // A grouped codeword holds steps^3 values; a plain one steps values.
    long long values = q.grouped ? (long long)q.steps * q.steps * q.steps : q.steps;
    if (q.steps < 3 || (1LL << q.bits) < values || (1LL << (q.bits - 1)) >= values) {
      error = "quantisation class " + std::to_string(c) + " has an inconsistent width";
      return false;
    }
    ++found;
  }
  if (found != kClasses) {
    error = "expected 17 quantisation classes";
    return false;
  }
  size_t at = sec.find("SNR by allocation");
  size_t from = at == std::string_view::npos ? at : sec.find('\n', at);
  if (from == std::string_view::npos) {
    error = "SNR list missing";
    return false;
  }
  size_t to = sec.find("\n\n", from + 1);
  auto snr = Numbers(sec.substr(from, to == std::string_view::npos ? to : to - from));
  if (snr.size() != t.snr.size() || snr[0] != 0.0) {
    error = "expected 18 SNR values";
    return false;
  }
  for (size_t i = 0; i < snr.size(); ++i) t.snr[i] = snr[i];
  return true;
}

int ClassOfSteps(const Layer2Tables& t, int steps) {
  for (int c = 0; c < kClasses; ++c)
    if (t.classes[c].steps == steps) return c;
  return -1;
}

// Reads an unsigned integer at `pos`, skipping leading blanks; -1 when there is none.
int ReadInt(std::string_view text, size_t& pos) {
  while (pos < text.size() && std::isspace((unsigned char)text[pos])) ++pos;
  if (pos >= text.size() || !std::isdigit((unsigned char)text[pos])) return -1;
  int v = 0;
  while (pos < text.size() && std::isdigit((unsigned char)text[pos]) && v < 1000000)
    v = v * 10 + (text[pos++] - '0');
  return v;
}

bool SkipDash(std::string_view text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (text.substr(pos, 3) == "\xE2\x80\x93") {  // en dash
    pos += 3;
    return true;
  }
  if (pos < text.size() && text[pos] == '-') {
    ++pos;
    return true;
  }
  return false;
}

// One table paragraph: "Table B.2a (sblimit 27; ...):" then rows "subbands 3–10, nbal 4:
// 3, 5, ..."; "as B.2a" copies a table read before, and "subbands 27–29 as subbands
// 23–26 (nbal 2: ...)" gives a row by reference, the numbers following it.
bool ParseOneTable(std::string_view p, const Layer2Tables& t, const AllocTable* known[3],
                   AllocTable& table, std::string& error) {
  size_t pos = std::string_view("Table B.2a (sblimit").size();
  table.sblimit = ReadInt(p, pos);
  if (table.sblimit < 1 || table.sblimit > kSubbands) {
    error = "bad sblimit";
    return false;
  }
  size_t as = p.find("as B.2");
  if (as != std::string_view::npos && as + 6 < p.size()) {
    int from = p[as + 6] - 'a';
    if (from < 0 || from > 2 || !known[from]) {
      error = "allocation table copies one not yet read";
      return false;
    }
    int limit = table.sblimit;
    table = *known[from];
    table.sblimit = limit;
  }
  int lo = -1, hi = -1;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p.substr(i, 8) == "subbands") {
      size_t j = i + 8;
      int a = ReadInt(p, j);
      if (a < 0 || !SkipDash(p, j)) continue;
      int b = ReadInt(p, j);
      if (b < 0) continue;
      bool reference = i >= 3 && p.substr(i - 3, 3) == "as ";
      if (!reference) lo = a, hi = b;
      i = j - 1;
    } else if (p.substr(i, 4) == "nbal") {
      size_t j = i + 4;
      int nbal = ReadInt(p, j);
      if (j >= p.size() || p[j] != ':') continue;  // "at nbal 3": no list here
      ++j;
      std::vector<int> steps;
      for (int v; (v = ReadInt(p, j)) >= 0;) {
        steps.push_back(v);
        while (j < p.size() && (p[j] == ',' || p[j] == ' ')) ++j;
      }
      if (lo < 0 || lo > hi || hi >= kSubbands || nbal < 2 || nbal > 4 || steps.empty() ||
          steps.size() > size_t((1 << nbal) - 1)) {
        error = "bad allocation row";
        return false;
      }
      for (int sb = lo; sb <= hi; ++sb) {
        SubbandAlloc& s = table.sb[sb];
        s = SubbandAlloc{};
        s.nbal = nbal;
        s.codes = int(steps.size());
        for (size_t k = 0; k < steps.size(); ++k) {
          int cls = ClassOfSteps(t, steps[k]);
          if (cls < 0) {
            error = "unknown step count " + std::to_string(steps[k]);
            return false;
          }
          s.cls[k + 1] = int8_t(cls);
        }
      }
      lo = hi = -1;
      i = j - 1;
    }
  }
  for (int sb = 0; sb < table.sblimit; ++sb) {
    if (table.sb[sb].nbal == 0) {
      error = "subband " + std::to_string(sb) + " missing";
      return false;
    }
  }
  for (int sb = table.sblimit; sb < kSubbands; ++sb) table.sb[sb] = SubbandAlloc{};
  return true;
}

bool ParseAllocTables(std::string_view sec, Layer2Tables& t, std::string& error) {
  // Paragraphs are separated by blank lines; each table is one paragraph.
  std::vector<std::string> paragraphs(1);
  for (std::string_view line : Lines(sec)) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
      if (!paragraphs.back().empty()) paragraphs.emplace_back();
    } else {
      paragraphs.back() += std::string(line) + "\n";
    }
  }
  AllocTable* dst[3] = {&t.tableA, &t.tableB, &t.tableC};
  const AllocTable* known[3] = {nullptr, nullptr, nullptr};
  for (const std::string& p : paragraphs) {
    if (p.rfind("Layer II bit rates", 0) == 0) {
      auto nums = Numbers(std::string_view(p).substr(p.rfind(':') + 1));
      if (nums.size() != 14) {
        error = "expected 14 layer II bit rates";
        return false;
      }
      t.bitrates[0] = 0;
      for (int i = 0; i < 14; ++i) t.bitrates[i + 1] = int(nums[i]);
      continue;
    }
    if (p.rfind("Table B.2", 0) != 0 || p.size() < 10) continue;
    int which = p[9] - 'a';
    if (which < 0 || which > 2) continue;  // B.2d: 32 kHz only
    AllocTable table;
    if (!ParseOneTable(p, t, known, table, error)) {
      error = "table B.2" + std::string(1, p[9]) + ": " + error;
      return false;
    }
    *dst[which] = table;
    known[which] = dst[which];
  }
  if (!known[0] || !known[1] || !known[2] || t.bitrates[14] == 0) {
    error = "allocation tables or bit rates missing";
    return false;
  }
  return true;
}

bool ParseScfsi(std::string_view sec, Layer2Tables& t, std::string& error) {
  int rows = 0;
  for (std::string_view line : Lines(sec)) {
    auto cells = TableRow(line);
    if (cells.size() != 6 || !IsInt(cells[0])) continue;
    int d1 = std::atoi(cells[0].c_str());
    if (d1 != rows + 1) {
      error = "scfsi rows out of order";
      return false;
    }
    for (int d2 = 0; d2 < 5; ++d2) {
      const std::string& cell = cells[d2 + 1];  // "123 / 0"
      if (cell.size() != 7 || cell.substr(3, 3) != " / ") {
        error = "bad scfsi cell '" + cell + "'";
        return false;
      }
      ScfsiChoice& ch = t.scfsi[d1 - 1][d2];
      for (int k = 0; k < 3; ++k) {
        ch.source[k] = int8_t(cell[k] - '0');
        if (ch.source[k] < 1 || ch.source[k] > 4) {
          error = "bad scfsi pattern '" + cell + "'";
          return false;
        }
      }
      ch.scfsi = cell[6] - '0';
      if (ch.scfsi < 0 || ch.scfsi > 3) {
        error = "bad scfsi value '" + cell + "'";
        return false;
      }
    }
    ++rows;
  }
  if (rows != 5) {
    error = "expected 5 scfsi rows";
    return false;
  }
  return true;
}

bool ParseBandEdges(std::string_view md, Layer2Tables& t, std::string& error) {
  size_t at = md.find("edges (Hz):");
  size_t end = at == std::string_view::npos ? at : md.find(':', at + 11);
  if (end == std::string_view::npos) {
    error = "critical-band edges missing";
    return false;
  }
  t.bandEdges = Numbers(md.substr(at + 11, end - at - 11));
  for (size_t i = 1; i < t.bandEdges.size(); ++i) {
    if (t.bandEdges[i] <= t.bandEdges[i - 1]) {
      error = "critical-band edges not increasing";
      return false;
    }
  }
  if (t.bandEdges.size() < 26 || t.bandEdges[0] != 0.0 || t.bandEdges.back() < 22050) {
    error = "critical-band edges do not cover 0..22050 Hz";
    return false;
  }
  return true;
}

}  // namespace

bool ParseLayer2Tables(std::string_view markdown, std::string_view window, Layer2Tables& out,
                       std::string& error) {
  Layer2Tables t;
  auto w = Numbers(window);
  if (w.size() != 257) {
    error = "analysis window needs 257 values, found " + std::to_string(w.size());
    return false;
  }
  for (int i = 0; i <= 256; ++i) t.window[i] = w[i] / double(1 << 21);
  for (int i = 1; i <= 255; ++i) t.window[512 - i] = i % 64 != 0 ? -t.window[i] : t.window[i];

  for (int i = 0; i < kScaleFactors; ++i) t.scalefactor[i] = 2.0 * std::pow(2.0, -i / 3.0);

  if (!ParseClasses(Section(markdown, "Quantisation classes"), t, error) ||
      !ParseAllocTables(Section(markdown, "Allocation tables"), t, error) ||
      !ParseScfsi(Section(markdown, "Scale-factor selection"), t, error) ||
      !ParseBandEdges(markdown, t, error))
    return false;
  out = std::move(t);
  return true;
}

const Layer2Tables* BuiltInTables(std::string* error) {
  // Immutable once built; call_once makes the first use from parallel encoders safe.
  static std::once_flag once;
  static Layer2Tables tables;
  static bool ok = false;
  static std::string why;
  std::call_once(once, [] {
    std::string_view md(reinterpret_cast<const char*>(zr_data_layer2_tables),
                        zr_data_layer2_tables_size);
    std::string_view win(reinterpret_cast<const char*>(zr_data_window), zr_data_window_size);
    ok = ParseLayer2Tables(md, win, tables, why);
  });
  if (!ok && error) *error = why;
  return ok ? &tables : nullptr;
}

}  // namespace zr::mpeg::audio
