#include "platform/posix/profile_text.h"

#include <vector>

namespace lum::posix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\x1a'; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerCase1251(a) == LowerCase1251(b);
}

struct Line {
  size_t begin;  // offset of the line in the content
  size_t end;    // offset of its line break (or the content's end)
  enum Kind { Other, Section, Entry } kind;
  std::string name;   // section or key name
  std::string value;  // entry value, trimmed
};

std::vector<Line> ParseLines(const std::string& content) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string text = Trim(content.substr(begin, end - begin));
    Line line{begin, end, Line::Other, {}, {}};
    if (!text.empty() && text[0] == '[') {
      size_t close = text.rfind(']');
      if (close != std::string::npos) {
        line.kind = Line::Section;
        line.name = text.substr(1, close - 1);
      }
    } else if (!text.empty()) {
      line.kind = Line::Entry;
      size_t eq = text.find('=');
      line.name = Trim(text.substr(0, eq));
      if (eq != std::string::npos) line.value = Trim(text.substr(eq + 1));
    }
    lines.push_back(line);
    begin = end + 1;
  }
  return lines;
}

}  // namespace

std::string LowerCase1251(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') {
      u += 32;
    } else if (u >= 0xC0 && u <= 0xDF) {
      u += 32;  // А..Я
    } else {
      switch (u) {
        case 0x80: u = 0x90; break;  // Ђ
        case 0x81: u = 0x83; break;  // Ѓ
        case 0x8A: u = 0x9A; break;  // Љ
        case 0x8C: u = 0x9C; break;  // Њ
        case 0x8D: u = 0x9D; break;  // Ќ
        case 0x8E: u = 0x9E; break;  // Ћ
        case 0x8F: u = 0x9F; break;  // Џ
        case 0xA1: u = 0xA2; break;  // Ў
        case 0xA3: u = 0xBC; break;  // Ј
        case 0xA5: u = 0xB4; break;  // Ґ
        case 0xA8: u = 0xB8; break;  // Ё
        case 0xAA: u = 0xBA; break;  // Є
        case 0xAF: u = 0xBF; break;  // Ї
        case 0xB2: u = 0xB3; break;  // І
        case 0xBD: u = 0xBE; break;  // Ѕ
        default: break;
      }
    }
    c = static_cast<char>(u);
  }
  return out;
}

std::optional<std::string> ProfileLookup(const std::string& content, const std::string& section,
                                         const std::string& key) {
  bool in_section = false;
  for (const Line& line : ParseLines(content)) {
    if (line.kind == Line::Section) {
      in_section = SameName(line.name, section);
    } else if (in_section && line.kind == Line::Entry && SameName(line.name, key)) {
      std::string value = line.value;
      if (value.size() > 1 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return std::nullopt;
}

std::string ProfileUpdate(const std::string& content, const std::string& section,
                          const std::string& key, const std::string& value) {
  const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<Line> lines = ParseLines(content);
  bool in_section = false;
  bool section_found = false;
  size_t insert_at = std::string::npos;  // after the section's last non-blank line
  for (const Line& line : lines) {
    if (line.kind == Line::Section) {
      if (in_section) break;  // the first matching section takes the entry
      in_section = SameName(line.name, section);
      if (in_section) {
        section_found = true;
        insert_at = line.end;
      }
      continue;
    }
    if (!in_section) continue;
    if (line.kind == Line::Entry && SameName(line.name, key)) {
      // Keep the leading blanks and the key as written; replace the rest.
      std::string raw = content.substr(line.begin, line.end - line.begin);
      size_t eq = raw.find('=');
      std::string head = eq == std::string::npos ? raw : raw.substr(0, eq);
      size_t head_end = head.size();
      while (head_end > 0 && IsBlank(head[head_end - 1])) --head_end;
      std::string cr = (!raw.empty() && raw.back() == '\r') ? "\r" : "";
      return content.substr(0, line.begin) + head.substr(0, head_end) + "=" + value + cr +
             content.substr(line.end);
    }
    if (line.kind != Line::Other || !Trim(content.substr(line.begin, line.end - line.begin)).empty()) {
      insert_at = line.end;
    }
  }
  if (section_found) {
    std::string entry = key + "=" + value;
    if (insert_at >= content.size()) {
      std::string head = content;
      if (!head.empty() && head.back() != '\n') head += eol;
      return head + entry + eol;
    }
    // insert_at is a line break: the new entry follows that line.
    size_t after = insert_at + 1;
    return content.substr(0, after) + entry + eol + content.substr(after);
  }
  std::string head = content;
  if (!head.empty() && head.back() != '\n') head += eol;
  return head + "[" + section + "]" + eol + key + "=" + value + eol;
}

}  // namespace lum::posix
