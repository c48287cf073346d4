// The grammar of resource scripts, as rc and windres read it, for the statements Melodex's
// res/melodex.rc uses and a little more:
//   LANGUAGE primary, sub
//   STRINGTABLE [options] BEGIN { id [,] "text" ["more text" …] } END
//   name ICON   [options] "file.ico"      → RT_ICON images + RT_GROUP_ICON name
//   name BITMAP [options] "file.bmp"      → RT_BITMAP without the file header
//   name RCDATA|HTML|type [options] "file" or BEGIN raw-data END
// where name is a number, an expression of numbers, or an identifier (a string name), type is a
// number or an identifier (a custom type such as GIF, WAVE, CEUX), raw data is numbers (16-bit,
// or 32-bit with an L suffix) and strings ("narrow" or L"wide", no terminator added), and
// BEGIN/END may be written { and }.
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>

#include "Lexer.h"
#include "Script.h"

namespace rc {
namespace {

std::u16string UpperAscii(const std::string& s) {
  std::u16string out;
  for (char c : s) out += static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::u16string UpperAscii(std::u16string s) {
  for (char16_t& c : s) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return s;
}

std::string Describe(const Key& key) {
  if (!key.isText()) return std::to_string(key.id);
  std::string s;
  for (char16_t c : key.text) s += c < 0x80 ? static_cast<char>(c) : '?';
  return s;
}

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutDword(std::vector<uint8_t>& out, uint32_t v) {
  PutWord(out, v & 0xFFFF);
  PutWord(out, v >> 16);
}

uint32_t ReadWord(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8);
}

uint32_t ReadDword(const std::string& b, size_t at) { return ReadWord(b, at) | (ReadWord(b, at + 2) << 16); }

// Characters of a narrow raw-data string, back to the 8-bit code page (Windows-1252; other
// characters become '?', as rc does for characters its code page lacks).
void PutNarrow(std::vector<uint8_t>& out, const std::u16string& s) {
  static const std::u16string kHigh =
      u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
      u"\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
  for (char16_t c : s) {
    const size_t high = kHigh.find(c);
    if (high != std::u16string::npos) {
      out.push_back(static_cast<uint8_t>(0x80 + high));
    } else {
      out.push_back(c < 0x100 ? static_cast<uint8_t>(c) : static_cast<uint8_t>('?'));
    }
  }
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const std::filesystem::path& script, const Options& options,
         Script& out)
      : t_(std::move(tokens)), dir_(script.parent_path()), options_(options), out_(out) {}

  void parse() {
    while (peek().kind != TokenKind::End) {
      if (IsKeyword(peek(), "LANGUAGE")) {
        ++i_;
        language_ = languageValue();
      } else if (IsKeyword(peek(), "STRINGTABLE")) {
        ++i_;
        stringTable();
      } else {
        resource();
      }
    }
    finishStringTables();
  }

 private:
  struct StringBlock {
    std::array<std::optional<std::u16string>, 16> strings;
    std::array<std::string, 16> origins;
  };

  const Token& peek() const { return t_[i_]; }
  const Token& take() { return t_[i_ < t_.size() - 1 ? i_++ : i_]; }
  std::string origin(const Token& t) const { return *t.file + ":" + std::to_string(t.line); }
  [[noreturn]] void fail(const Token& t, const std::string& message) const {
    throw CompileError(*t.file, t.line, message);
  }
  static std::string shown(const Token& t) {
    switch (t.kind) {
      case TokenKind::End: return "the end of the script";
      case TokenKind::String: return "\"" + t.text + "\"";
      default: return "'" + t.text + "'";
    }
  }

  bool isBegin(const Token& t) const { return IsKeyword(t, "BEGIN") || t.text == "{"; }
  bool isEnd(const Token& t) const { return IsKeyword(t, "END") || (t.kind == TokenKind::Punct && t.text == "}"); }
  bool startsNumber(const Token& t) const {
    return t.kind == TokenKind::Number ||
           (t.kind == TokenKind::Punct && (t.text == "(" || t.text == "-" || t.text == "~"));
  }

  // expr := term { (+ | - | '|') term }, term := number | - term | ~ term | ( expr ).
  uint32_t expression(bool* isLong = nullptr) {
    uint32_t v = term(isLong);
    while (peek().kind == TokenKind::Punct && (peek().text == "+" || peek().text == "-" || peek().text == "|")) {
      const std::string op = take().text;
      const uint32_t r = term(isLong);
      v = op == "+" ? v + r : op == "-" ? v - r : (v | r);
    }
    return v;
  }
  uint32_t term(bool* isLong) {
    const Token& t = take();
    if (t.kind == TokenKind::Number) {
      if (isLong != nullptr && t.longSuffix) *isLong = true;
      return t.value;
    }
    if (t.text == "-") return 0u - term(isLong);
    if (t.text == "~") return ~term(isLong);
    if (t.text == "(") {
      const uint32_t v = expression(isLong);
      if (take().text != ")") fail(t, "missing ')' in expression");
      return v;
    }
    if (t.kind == TokenKind::Identifier) fail(t, "'" + t.text + "' is not a number (no #define for it)");
    fail(t, "expected a number, found " + shown(t));
  }
  uint16_t id16(const Token& at) {
    const uint32_t v = expression();
    if (v > 0xFFFF) fail(at, "id " + std::to_string(v) + " does not fit in 16 bits");
    return static_cast<uint16_t>(v);
  }

  uint16_t languageValue() {
    const Token& at = peek();
    const uint32_t primary = expression();
    if (peek().text == ",") ++i_;
    else fail(peek(), "LANGUAGE needs two values: primary, sub-language");
    const uint32_t sub = expression();
    if (primary > 0x3FF || sub > 0x3F) fail(at, "LANGUAGE values out of range");
    return static_cast<uint16_t>((sub << 10) | primary);
  }

  // Memory flags (ignored by Win32 since long) and the optional statements of a resource.
  void options(uint16_t* language) {
    static const char* kFlags[] = {"PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE",
                                   "PURE", "IMPURE", "SHARED", "NONSHARED"};
    while (true) {
      const Token& t = peek();
      if (std::any_of(std::begin(kFlags), std::end(kFlags), [&](const char* f) { return IsKeyword(t, f); })) {
        ++i_;
      } else if (IsKeyword(t, "LANGUAGE")) {
        ++i_;
        *language = languageValue();
      } else if (IsKeyword(t, "CHARACTERISTICS") || IsKeyword(t, "VERSION")) {
        ++i_;
        expression();
      } else {
        return;
      }
    }
  }

  void stringTable() {
    const Token& start = t_[i_ - 1];
    uint16_t language = language_;
    options(&language);
    if (!isBegin(take())) fail(t_[i_ - 1], "expected BEGIN after STRINGTABLE");
    while (!isEnd(peek())) {
      const Token& at = peek();
      if (at.kind == TokenKind::End) fail(start, "STRINGTABLE without END");
      if (!startsNumber(at)) fail(at, "expected a string id, found " + shown(at));
      const uint16_t id = id16(at);
      if (peek().text == ",") ++i_;
      if (peek().kind != TokenKind::String) fail(peek(), "expected a string after id " + std::to_string(id));
      std::u16string text;
      while (peek().kind == TokenKind::String) text += DecodeString(take());
      StringBlock& block = blocks_[{language, static_cast<uint16_t>((id >> 4) + 1)}];
      auto& slot = block.strings[id & 15];
      if (slot) fail(at, "string id " + std::to_string(id) + " is defined twice (first at " + block.origins[id & 15] + ")");
      slot = std::move(text);
      block.origins[id & 15] = origin(at);
    }
    ++i_;
  }

  void finishStringTables() {
    for (const auto& [key, block] : blocks_) {
      Resource r{Key::Id(kRtString), Key::Id(key.second), key.first, {}, {}};
      for (size_t k = 0; k < 16; ++k) {
        const std::u16string& s = block.strings[k] ? *block.strings[k] : std::u16string();
        PutWord(r.data, static_cast<uint32_t>(s.size()));
        for (char16_t c : s) PutWord(r.data, c);
        if (r.origin.empty() && block.strings[k]) r.origin = block.origins[k];
      }
      add(std::move(r), nullptr);
    }
  }

  Key name() {
    const Token& t = peek();
    if (startsNumber(t)) return Key::Id(id16(t));
    if (t.kind == TokenKind::Identifier) return Key::Text(UpperAscii(take().text));
    if (t.kind == TokenKind::String) {
      std::u16string s = UpperAscii(DecodeString(take()));
      if (s.empty()) fail(t, "a resource name may not be empty");
      return Key::Text(std::move(s));
    }
    fail(t, "expected a resource name or id, found " + shown(t));
  }

  void resource() {
    const Token& at = peek();
    Resource r;
    r.origin = origin(at);
    r.name = name();
    const Token& typeToken = peek();
    static const char* kUnsupported[] = {"CURSOR", "ACCELERATORS", "MENU", "MENUEX", "DIALOG",
                                         "DIALOGEX", "VERSIONINFO", "MESSAGETABLE", "FONT",
                                         "TOOLBAR", "DLGINIT", "TEXTINCLUDE"};
    std::string kind;
    if (typeToken.kind == TokenKind::Number) {
      r.type = Key::Id(id16(typeToken));
    } else if (typeToken.kind == TokenKind::Identifier) {
      ++i_;
      for (const char* u : kUnsupported) {
        if (IsKeyword(typeToken, u)) fail(typeToken, std::string("resource type ") + u + " is not supported by this compiler");
      }
      if (IsKeyword(typeToken, "ICON")) kind = "ICON";
      else if (IsKeyword(typeToken, "BITMAP")) kind = "BITMAP", r.type = Key::Id(kRtBitmap);
      else if (IsKeyword(typeToken, "RCDATA")) r.type = Key::Id(kRtRcdata);
      else if (IsKeyword(typeToken, "HTML")) r.type = Key::Id(23);
      else r.type = Key::Text(UpperAscii(typeToken.text));
    } else if (typeToken.kind == TokenKind::String) {
      ++i_;
      r.type = Key::Text(UpperAscii(DecodeString(typeToken)));
    } else {
      fail(typeToken, "expected a resource type after '" + Describe(r.name) + "', found " + shown(typeToken));
    }
    r.language = language_;
    options(&r.language);

    const Token& body = peek();
    if (body.kind == TokenKind::String) {
      ++i_;
      const std::string bytes = readData(body);
      if (kind == "ICON") return icon(r, bytes, body);
      if (kind == "BITMAP") {
        if (bytes.size() < 14 || bytes.compare(0, 2, "BM") != 0) fail(body, "'" + body.text + "' is not a BMP file");
        r.data.assign(bytes.begin() + 14, bytes.end());
      } else {
        r.data.assign(bytes.begin(), bytes.end());
      }
    } else if (isBegin(body) && kind.empty()) {
      ++i_;
      rawData(r, body);
    } else {
      fail(body, "expected a file name in quotes" + std::string(kind.empty() ? " or a BEGIN ... END block" : "") +
                     " for resource " + Describe(r.name) + ", found " + shown(body));
    }
    add(std::move(r), &at);
  }

  std::string readData(const Token& file) {
    if (file.wide) fail(file, "a file name is written without L");
    // File names are taken as written, with Windows' backslashes read as folder separators.
    std::string name;
    for (size_t k = 0; k < file.text.size(); ++k) {
      if (file.text.compare(k, 2, "\\\\") == 0) ++k;
      name += file.text[k] == '\\' ? '/' : file.text[k];
    }
    if (name.empty()) fail(file, "empty file name");
    std::vector<std::filesystem::path> candidates{dir_ / name};
    for (const auto& d : options_.includeDirs) candidates.push_back(d / name);
    for (const auto& c : candidates) {
      if (auto bytes = options_.reader(c)) {
        out_.dependencies.push_back(c);
        return *bytes;
      }
    }
    fail(file, "cannot open file '" + name + "'");
  }

  void rawData(Resource& r, const Token& start) {
    while (!isEnd(peek())) {
      const Token& t = peek();
      if (t.kind == TokenKind::End) fail(start, "BEGIN without END");
      if (t.kind == TokenKind::String) {
        ++i_;
        const std::u16string s = DecodeString(t);
        if (t.wide) {
          for (char16_t c : s) PutWord(r.data, c);
        } else {
          PutNarrow(r.data, s);
        }
      } else if (startsNumber(t)) {
        bool isLong = false;
        const uint32_t v = expression(&isLong);
        if (isLong) PutDword(r.data, v);
        else PutWord(r.data, v & 0xFFFF);
      } else {
        fail(t, "expected a number or a string in the data of " + Describe(r.name) + ", found " + shown(t));
      }
      if (peek().text == ",") ++i_;
    }
    ++i_;
  }

  // An .ico file becomes one RT_ICON per image, numbered from 1 across the script as rc does,
  // and an RT_GROUP_ICON directory (GRPICONDIR: 14-byte entries ending in the RT_ICON id).
  void icon(Resource& group, const std::string& ico, const Token& at) {
    if (ico.size() < 6 || ReadWord(ico, 0) != 0 || ReadWord(ico, 2) != 1 || ReadWord(ico, 4) == 0) {
      fail(at, "'" + at.text + "' is not an icon file");
    }
    const uint32_t count = ReadWord(ico, 4);
    if (ico.size() < 6 + size_t{count} * 16) fail(at, "'" + at.text + "' is truncated");
    group.type = Key::Id(kRtGroupIcon);
    PutWord(group.data, 0);
    PutWord(group.data, 1);
    PutWord(group.data, count);
    for (uint32_t k = 0; k < count; ++k) {
      const size_t e = 6 + size_t{k} * 16;
      const uint32_t size = ReadDword(ico, e + 8);
      const uint32_t offset = ReadDword(ico, e + 12);
      if (size_t{offset} + size > ico.size() || size < 40) fail(at, "'" + at.text + "' has an image outside the file");
      uint32_t planes = ReadWord(ico, e + 4);
      uint32_t bits = ReadWord(ico, e + 6);
      if (bits == 0 && ReadDword(ico, offset) == 40) {  // taken from the image's header, as rc does
        planes = ReadWord(ico, offset + 12);
        bits = ReadWord(ico, offset + 14);
      }
      Resource image{Key::Id(kRtIcon), Key::Id(nextIconId_++), group.language, {}, group.origin};
      image.data.assign(ico.begin() + offset, ico.begin() + offset + size);
      for (size_t b = 0; b < 4; ++b) group.data.push_back(static_cast<uint8_t>(ico[e + b]));
      PutWord(group.data, planes);
      PutWord(group.data, bits);
      PutDword(group.data, size);
      PutWord(group.data, image.name.id);
      add(std::move(image), &at);
    }
    add(std::move(group), &at);
  }

  void add(Resource r, const Token* at) {
    for (const Resource& other : out_.resources) {
      if (other.type == r.type && other.name == r.name && other.language == r.language) {
        const std::string message = "resource " + Describe(r.name) + " of type " + Describe(r.type) +
                                    " is defined twice (first at " + other.origin + ")";
        if (at != nullptr) fail(*at, message);
        throw CompileError(r.origin, 0, message);
      }
    }
    out_.resources.push_back(std::move(r));
  }

  std::vector<Token> t_;
  size_t i_ = 0;
  std::filesystem::path dir_;
  const Options& options_;
  Script& out_;
  uint16_t language_ = 0;
  uint16_t nextIconId_ = 1;
  std::map<std::pair<uint16_t, uint16_t>, StringBlock> blocks_;
};

}  // namespace

Script Compile(const std::filesystem::path& path, const Options& options) {
  Script script;
  std::vector<Token> tokens = Preprocess(path, options, &script.dependencies);
  Parser(std::move(tokens), path, options, script).parse();
  return script;
}

}  // namespace rc
