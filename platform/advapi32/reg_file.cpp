// Reading registry.reg: "Windows Registry Editor Version 5.00" (or REGEDIT4), [KEY] sections,
// "name"="text" with \\ and \" escapes, @= for the default value, dword: and hex(…): values.
#include <fstream>
#include <sstream>

#include "advapi32/registry.h"
#include "device/Device.h"
#include "kernel32/kernel32.h"

namespace advapi32 {
namespace {

std::u16string Decode(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
  }
  std::string_view view(bytes);
  if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  // REGEDIT4 files are in the 8-bit code page; anything that is not UTF-8 is read as CP1252.
  return kernel32::IsValidUtf8(view) ? kernel32::Utf8ToUtf16(view) : kernel32::Cp1252ToUtf16(view);
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t' || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

// Reads a quoted string at s[i] (s[i] == '"'); advances i past the closing quote.
std::optional<std::u16string> Quoted(std::u16string_view s, size_t& i) {
  std::u16string out;
  for (++i; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (s[i] == u'"') {
      ++i;
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

std::u16string CanonicalRoot(std::u16string_view root) {
  std::u16string r = FoldCase(root);
  if (r == u"hklm") return u"hkey_local_machine";
  if (r == u"hkcu") return u"hkey_current_user";
  if (r == u"hkcr") return u"hkey_classes_root";
  if (r == u"hku") return u"hkey_users";
  return r;
}

void AddKey(RegistryImage& image, const std::u16string& path) {
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') image[path.substr(0, i)];
  }
}

std::optional<RegValue> ParseValue(std::u16string_view text) {
  RegValue value;
  if (!text.empty() && text[0] == u'"') {
    size_t i = 0;
    auto s = Quoted(text, i);
    if (!s) return std::nullopt;
    value.type = REG_SZ;
    for (char16_t c : *s) {
      value.data.push_back(static_cast<BYTE>(c));
      value.data.push_back(static_cast<BYTE>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
  }
  std::u16string lower = FoldCase(text);
  if (lower.rfind(u"dword:", 0) == 0) {
    uint32_t v = 0;
    for (char16_t c : lower.substr(6)) {
      if (c >= u'0' && c <= u'9') v = v * 16 + (c - u'0');
      else if (c >= u'a' && c <= u'f') v = v * 16 + (c - u'a' + 10);
      else return std::nullopt;
    }
    value.type = REG_DWORD;
    for (int k = 0; k < 4; ++k) value.data.push_back(static_cast<BYTE>(v >> (8 * k)));
    return value;
  }
  if (lower.rfind(u"hex", 0) == 0) {
    size_t colon = lower.find(u':');
    if (colon == std::u16string::npos) return std::nullopt;
    value.type = REG_BINARY;
    if (lower[3] == u'(') {  // hex(N): a value of type N given as bytes
      value.type = 0;
      for (size_t k = 4; k < colon && lower[k] != u')'; ++k) {
        char16_t c = lower[k];
        if (c >= u'0' && c <= u'9') value.type = value.type * 16 + (c - u'0');
        else if (c >= u'a' && c <= u'f') value.type = value.type * 16 + (c - u'a' + 10);
        else return std::nullopt;
      }
    }
    unsigned byte = 0;
    int digits = 0;
    for (char16_t c : lower.substr(colon + 1)) {
      if (c == u',' || c == u' ' || c == u'\\') {
        if (digits) value.data.push_back(static_cast<BYTE>(byte));
        byte = 0, digits = 0;
      } else if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) {
        byte = byte * 16 + (c <= u'9' ? c - u'0' : c - u'a' + 10);
        ++digits;
      } else {
        return std::nullopt;
      }
    }
    if (digits) value.data.push_back(static_cast<BYTE>(byte));
    return value;
  }
  return std::nullopt;  // "-" (a deletion) and anything unknown define no value
}

}  // namespace

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = towlower(c);
  return out;
}

RegistryImage ParseRegistryFile(const std::string& bytes) {
  RegistryImage image;
  std::u16string text = Decode(bytes);
  // Logical lines: a hex value may continue over lines ending in a backslash.
  std::vector<std::u16string> lines;
  std::u16string joined;
  bool continued = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line = Trim(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (continued) joined += line;
    else joined = line;
    continued = !joined.empty() && joined.back() == u'\\' && joined.find(u"=hex") != std::u16string::npos;
    if (continued) {
      joined.pop_back();
      continue;
    }
    lines.push_back(joined);
  }
  if (continued) lines.push_back(joined);

  std::optional<std::u16string> key;  // current section, folded; none after [-KEY] or junk
  for (const std::u16string& current : lines) {
    if (current.empty() || current[0] == u';') continue;
    if (current[0] == u'[') {
      size_t close = current.rfind(u']');
      if (close == std::u16string::npos || current.size() < 3 || current[1] == u'-') {
        key.reset();
        continue;
      }
      std::u16string path = FoldCase(current.substr(1, close - 1));
      size_t slash = path.find(u'\\');
      path = CanonicalRoot(path.substr(0, slash)) + (slash == std::u16string::npos ? u"" : path.substr(slash));
      key = path;
      AddKey(image, path);
      continue;
    }
    if (!key) continue;
    std::u16string name;
    size_t i = 0;
    if (current[0] == u'@') {
      i = 1;
    } else if (current[0] == u'"') {
      auto quoted = Quoted(current, i);
      if (!quoted) continue;
      name = *quoted;
    } else {
      continue;  // the header line, or text regedit would reject
    }
    std::u16string_view rest = Trim(std::u16string_view(current).substr(i));
    if (rest.empty() || rest[0] != u'=') continue;
    auto value = ParseValue(Trim(rest.substr(1)));
    if (!value) continue;
    value->name = name;
    image[*key].values[FoldCase(name)] = std::move(*value);
  }
  return image;
}

RegistryImage LoadRegistry() {
  std::ifstream in(device::RootDir() + "/registry.reg", std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return ParseRegistryFile(bytes.str());
}

}  // namespace advapi32
