// Preprocessor and tokenizer of resource scripts (see Lexer.h for the subset understood).
#include "Lexer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace rc {
namespace {

constexpr int kMaxIncludeDepth = 16;
constexpr int kMaxExpansionDepth = 32;

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// Splits one file (or one directive line) into tokens. Keeps track of line numbers and
// reports unterminated strings and comments, and characters that belong to no token.
class Scanner {
 public:
  Scanner(const std::string& text, std::shared_ptr<const std::string> file, int line, int codePage)
      : text_(text), file_(std::move(file)), line_(line), codePage_(codePage) {}

  // Skips blanks and comments; true when the next token begins a line (a directive may follow).
  bool skipBlanks() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
        lineStart_ = true;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
        pos_ += 2;  // a line continuation
        ++line_;
      } else if (text_.compare(pos_, 2, "//") == 0) {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (text_.compare(pos_, 2, "/*") == 0) {
        const int startLine = line_;
        const size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string::npos) throw CompileError(*file_, startLine, "unterminated comment");
        line_ += static_cast<int>(std::count(text_.begin() + static_cast<long>(pos_),
                                             text_.begin() + static_cast<long>(end), '\n'));
        pos_ = end + 2;
      } else {
        break;
      }
    }
    return lineStart_;
  }

  bool atEnd() const { return pos_ >= text_.size(); }
  void setCodePage(int codePage) { codePage_ = codePage; }
  int line() const { return line_; }
  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  // The rest of the current line with its continuations, for a directive; consumes it.
  std::string takeLine() {
    std::string out;
    while (pos_ < text_.size() && text_[pos_] != '\n') {
      if (text_[pos_] == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
        pos_ += 2;
        ++line_;
        out += ' ';
        continue;
      }
      out += text_[pos_++];
    }
    return out;
  }

  // Skips the rest of the line, for lines inside an #if section that is not taken.
  void skipLine() {
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
  }

  Token next() {
    lineStart_ = false;
    Token t;
    t.file = file_;
    t.line = line_;
    t.codePage = codePage_;
    const char c = text_[pos_];
    if ((c == 'L' || c == 'l') && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
      ++pos_;
      t.wide = true;
      return string(t);
    }
    if (c == '"') return string(t);
    if (IsIdentStart(c)) {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
      t.kind = TokenKind::Identifier;
      t.text = text_.substr(start, pos_ - start);
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) return number(t);
    static const std::array<const char*, 4> kPairs = {"&&", "||", "==", "!="};
    for (const char* pair : kPairs) {
      if (text_.compare(pos_, 2, pair) == 0) {
        pos_ += 2;
        t.kind = TokenKind::Punct;
        t.text = pair;
        return t;
      }
    }
    if (std::string("{},()|+-~!&<>*/").find(c) != std::string::npos) {
      ++pos_;
      t.kind = TokenKind::Punct;
      t.text = std::string(1, c);
      return t;
    }
    throw CompileError(*file_, line_, std::string("unexpected character '") + c + "'");
  }

 private:
  Token string(Token& t) {
    ++pos_;  // the opening quote
    const size_t start = pos_;
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') {
        throw CompileError(*file_, t.line, "unterminated string");
      }
      if (text_[pos_] == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] != '\n') {
        pos_ += 2;
      } else if (text_[pos_] == '"') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
          pos_ += 2;  // "" stands for one quote
        } else {
          break;
        }
      } else {
        ++pos_;
      }
    }
    t.kind = TokenKind::String;
    t.text = text_.substr(start, pos_ - start);
    ++pos_;
    return t;
  }

  Token number(Token& t) {
    const size_t start = pos_;
    int base = 10;
    if (text_.compare(pos_, 2, "0x") == 0 || text_.compare(pos_, 2, "0X") == 0) {
      base = 16;
      pos_ += 2;
    }
    uint64_t value = 0;
    size_t digits = 0;
    while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) {
      const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_])));
      const int v = std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : d - 'a' + 10;
      if (v >= base) break;
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
      if (value > 0xFFFFFFFFull) throw CompileError(*file_, line_, "number too large");
      ++pos_;
      ++digits;
    }
    if (digits == 0) throw CompileError(*file_, line_, "malformed number");
    while (pos_ < text_.size() && std::string("LlUu").find(text_[pos_]) != std::string::npos) {
      if (text_[pos_] == 'L' || text_[pos_] == 'l') t.longSuffix = true;
      ++pos_;
    }
    if (pos_ < text_.size() && IsIdentChar(text_[pos_])) {
      throw CompileError(*file_, line_, "malformed number '" +
                                            text_.substr(start, pos_ - start + 1) + "'");
    }
    t.kind = TokenKind::Number;
    t.value = static_cast<uint32_t>(value);
    t.text = text_.substr(start, pos_ - start);
    return t;
  }

  const std::string& text_;
  std::shared_ptr<const std::string> file_;
  size_t pos_ = 0;
  int line_;
  int codePage_;
  bool lineStart_ = true;
};

class Preprocessor {
 public:
  Preprocessor(const Options& options, std::vector<std::filesystem::path>* deps)
      : options_(options), deps_(deps) {}

  void run(const std::filesystem::path& path, bool directivesOnly, int depth,
           const std::string& fromFile, int fromLine) {
    if (depth > kMaxIncludeDepth) throw CompileError(fromFile, fromLine, "#include nested too deeply");
    const std::optional<std::string> text = options_.reader(path);
    if (!text) {
      if (depth == 0) throw CompileError(path.string(), 0, "cannot read the script");
      throw CompileError(fromFile, fromLine, "cannot open include file '" + path.string() + "'");
    }
    if (deps_ != nullptr) deps_->push_back(path);
    const auto file = std::make_shared<const std::string>(path.string());
    const size_t conditionDepth = conditions_.size();
    Scanner s(*text, file, 1, codePage_);
    while (true) {
      const bool lineStart = s.skipBlanks();
      if (s.atEnd()) break;
      if (lineStart && s.peek() == '#') {
        const int line = s.line();
        directive(s.takeLine().substr(1), path, *file, line, depth);
        s.setCodePage(codePage_);  // #pragma code_page applies from the next line
        continue;
      }
      if (!active() || directivesOnly) {
        s.skipLine();
        continue;
      }
      emit(s.next(), 0);
    }
    if (conditions_.size() != conditionDepth) throw CompileError(*file, s.line(), "missing #endif");
  }

  std::vector<Token> tokens;

 private:
  struct Condition {
    bool active;    // this section's lines count
    bool taken;     // some branch of this #if has been taken
    bool parentActive;
  };

  bool active() const { return conditions_.empty() || conditions_.back().active; }

  void emit(const Token& t, int depth) {
    if (t.kind == TokenKind::Identifier) {
      const auto found = macros_.find(t.text);
      if (found != macros_.end() && expanding_.count(t.text) == 0) {
        if (depth > kMaxExpansionDepth) throw CompileError(*t.file, t.line, "macro expansion too deep");
        expanding_.insert(t.text);
        for (Token e : found->second) {
          e.file = t.file;
          e.line = t.line;
          emit(e, depth + 1);
        }
        expanding_.erase(t.text);
        return;
      }
    }
    tokens.push_back(t);
  }

  std::vector<Token> lineTokens(const std::string& text, const std::string& file, int line) {
    std::vector<Token> out;
    Scanner s(text, std::make_shared<const std::string>(file), line, codePage_);
    while (true) {
      s.skipBlanks();
      if (s.atEnd()) break;
      out.push_back(s.next());
    }
    return out;
  }

  void directive(const std::string& body, const std::filesystem::path& path, const std::string& file,
                 int line, int depth) {
    std::vector<Token> t = lineTokens(body, file, line);
    if (t.empty()) return;  // a lone '#' is a null directive
    if (t[0].kind != TokenKind::Identifier) throw CompileError(file, line, "malformed directive");
    const std::string name = t[0].text;
    if (name == "ifdef" || name == "ifndef") {
      if (t.size() < 2 || t[1].kind != TokenKind::Identifier) {
        throw CompileError(file, line, "#" + name + " needs a name");
      }
      const bool defined = macros_.count(t[1].text) != 0;
      push(name == "ifdef" ? defined : !defined);
    } else if (name == "if") {
      push(evaluate(t, file, line) != 0);
    } else if (name == "elif" || name == "else") {
      if (conditions_.empty()) throw CompileError(file, line, "#" + name + " without #if");
      Condition& c = conditions_.back();
      const bool take = !c.taken && (name == "else" || (c.parentActive && evaluate(t, file, line) != 0));
      c.active = c.parentActive && take;
      c.taken = c.taken || take;
    } else if (name == "endif") {
      if (conditions_.empty()) throw CompileError(file, line, "#endif without #if");
      conditions_.pop_back();
    } else if (!active()) {
      return;  // other directives in a section not taken are ignored
    } else if (name == "define") {
      if (t.size() < 2 || t[1].kind != TokenKind::Identifier) throw CompileError(file, line, "#define needs a name");
      const size_t after = body.find(t[1].text, body.find("define") + 6) + t[1].text.size();
      if (after < body.size() && body[after] == '(') {
        throw CompileError(file, line, "function-like macros are not supported");
      }
      macros_[t[1].text] = std::vector<Token>(t.begin() + 2, t.end());
    } else if (name == "undef") {
      if (t.size() >= 2) macros_.erase(t[1].text);
    } else if (name == "include") {
      include(body, path, file, line, depth);
    } else if (name == "pragma") {
      if (t.size() >= 5 && t[1].text == "code_page" && t[3].kind == TokenKind::Number) {
        if (t[3].value != 1252 && t[3].value != 65001) {
          throw CompileError(file, line, "code page " + t[3].text + " is not supported (1252, 65001)");
        }
        codePage_ = static_cast<int>(t[3].value);
      }
    } else if (name == "error") {
      throw CompileError(file, line, "#error" + body.substr(body.find("error") + 5));
    } else {
      throw CompileError(file, line, "unknown directive #" + name);
    }
  }

  void push(bool condition) {
    const bool parent = active();
    conditions_.push_back(Condition{parent && condition, condition, parent});
  }

  void include(const std::string& body, const std::filesystem::path& path, const std::string& file,
               int line, int depth) {
    const size_t open = body.find_first_of("\"<");
    const char close = (open != std::string::npos && body[open] == '<') ? '>' : '"';
    const size_t end = open == std::string::npos ? open : body.find(close, open + 1);
    if (end == std::string::npos) throw CompileError(file, line, "#include needs \"file\" or <file>");
    const std::filesystem::path name = body.substr(open + 1, end - open - 1);
    std::vector<std::filesystem::path> candidates{path.parent_path() / name};
    for (const auto& dir : options_.includeDirs) candidates.push_back(dir / name);
    std::filesystem::path chosen = candidates.front();
    for (const auto& c : candidates) {
      if (options_.reader(c)) {
        chosen = c;
        break;
      }
    }
    // rc reads only the preprocessor lines of C headers and sources, so a resource.h shared
    // with the program's code may hold declarations too.
    const std::string ext = Upper(name.extension().string());
    const bool directivesOnly = ext == ".H" || ext == ".C" || ext == ".HPP";
    run(chosen, directivesOnly, depth + 1, file, line);
  }

  // #if and #elif: integers, defined(NAME), defined NAME, !, &&, ||, ==, != and parentheses;
  // an identifier that is no macro counts 0, as in C.
  uint32_t evaluate(const std::vector<Token>& t, const std::string& file, int line) {
    size_t i = 1;
    const uint32_t v = orExpr(t, i, file, line);
    if (i != t.size()) throw CompileError(file, line, "malformed #" + t[0].text + " expression");
    return v;
  }
  uint32_t orExpr(const std::vector<Token>& t, size_t& i, const std::string& f, int l) {
    uint32_t v = andExpr(t, i, f, l);
    while (i < t.size() && t[i].text == "||") {
      ++i;
      const uint32_t r = andExpr(t, i, f, l);
      v = (v || r) ? 1 : 0;
    }
    return v;
  }
  uint32_t andExpr(const std::vector<Token>& t, size_t& i, const std::string& f, int l) {
    uint32_t v = eqExpr(t, i, f, l);
    while (i < t.size() && t[i].text == "&&") {
      ++i;
      const uint32_t r = eqExpr(t, i, f, l);
      v = (v && r) ? 1 : 0;
    }
    return v;
  }
  uint32_t eqExpr(const std::vector<Token>& t, size_t& i, const std::string& f, int l) {
    uint32_t v = primary(t, i, f, l, 0);
    while (i < t.size() && (t[i].text == "==" || t[i].text == "!=")) {
      const bool eq = t[i++].text == "==";
      const uint32_t r = primary(t, i, f, l, 0);
      v = ((v == r) == eq) ? 1 : 0;
    }
    return v;
  }
  uint32_t primary(const std::vector<Token>& t, size_t& i, const std::string& f, int l, int depth) {
    if (i >= t.size() || depth > kMaxExpansionDepth) throw CompileError(f, l, "malformed expression");
    const Token& tok = t[i++];
    if (tok.kind == TokenKind::Number) return tok.value;
    if (tok.text == "!") return primary(t, i, f, l, depth + 1) == 0 ? 1 : 0;
    if (tok.text == "(") {
      const uint32_t v = orExpr(t, i, f, l);
      if (i >= t.size() || t[i++].text != ")") throw CompileError(f, l, "missing ')'");
      return v;
    }
    if (tok.kind == TokenKind::Identifier && tok.text == "defined") {
      const bool paren = i < t.size() && t[i].text == "(";
      if (paren) ++i;
      if (i >= t.size() || t[i].kind != TokenKind::Identifier) throw CompileError(f, l, "defined needs a name");
      const uint32_t v = macros_.count(t[i++].text) ? 1 : 0;
      if (paren && (i >= t.size() || t[i++].text != ")")) throw CompileError(f, l, "missing ')'");
      return v;
    }
    if (tok.kind == TokenKind::Identifier) {
      const auto m = macros_.find(tok.text);
      if (m == macros_.end() || m->second.empty()) return 0;
      size_t j = 0;
      std::vector<Token> sub{Token{}};
      sub.insert(sub.end(), m->second.begin(), m->second.end());
      j = 1;
      return primary(sub, j, f, l, depth + 1);
    }
    throw CompileError(f, l, "malformed expression at '" + tok.text + "'");
  }

  const Options& options_;
  std::vector<std::filesystem::path>* deps_;
  std::map<std::string, std::vector<Token>> macros_;
  std::set<std::string> expanding_;
  std::vector<Condition> conditions_;
  int codePage_ = 1252;
};

// Windows-1252's 0x80-0x9F; the other bytes are their own code points.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char b) { return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : b; }

// Appends the UTF-16 of one literal character at text[i] and returns the bytes it used.
size_t AppendLiteral(const std::string& text, size_t i, int codePage, std::u16string& out) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (codePage != 65001 || b < 0x80) {
    out += FromCp1252(b);
    return 1;
  }
  const size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (len == 1 || i + len > text.size()) {
    out += u'\uFFFD';
    return 1;
  }
  uint32_t cp = b & (0xFF >> (len + 1));
  for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
  return len;
}

}  // namespace

std::vector<Token> Preprocess(const std::filesystem::path& path, const Options& options,
                              std::vector<std::filesystem::path>* dependencies) {
  Preprocessor p(options, dependencies);
  p.run(path, false, 0, path.string(), 0);
  Token end;
  end.kind = TokenKind::End;
  end.file = std::make_shared<const std::string>(path.string());
  end.line = p.tokens.empty() ? 1 : p.tokens.back().line;
  p.tokens.push_back(end);
  return std::move(p.tokens);
}

std::u16string DecodeString(const Token& token) {
  const std::string& s = token.text;
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '"') {  // "" inside the literal
      out += u'"';
      i += 2;
      continue;
    }
    if (s[i] != '\\' || i + 1 >= s.size()) {
      i += AppendLiteral(s, i, token.codePage, out);
      continue;
    }
    const char e = s[i + 1];
    i += 2;
    switch (e) {
      case 'n': out += u'\n'; break;
      case 'r': out += u'\r'; break;
      case 't': out += u'\t'; break;
      case 'a': out += u'\b'; break;  // rc's \a is 0x08, the menu alignment mark
      case '\\': out += u'\\'; break;
      case '"': out += u'"'; break;
      case 'x':
      case 'X': {
        uint32_t v = 0;
        const size_t max = token.wide ? 4 : 2;
        size_t n = 0;
        for (; n < max && i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])); ++n, ++i) {
          const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
          v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : d - 'a' + 10);
        }
        out += token.wide ? static_cast<char16_t>(v) : FromCp1252(static_cast<unsigned char>(v));
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          uint32_t v = static_cast<uint32_t>(e - '0');
          for (size_t n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n, ++i) {
            v = v * 8 + static_cast<uint32_t>(s[i] - '0');
          }
          out += token.wide ? static_cast<char16_t>(v) : FromCp1252(static_cast<unsigned char>(v));
        } else {
          out += u'\\';  // rc keeps an unknown escape as written
          i -= 1;
        }
    }
  }
  return out;
}

bool IsKeyword(const Token& token, const char* keyword) {
  return token.kind == TokenKind::Identifier && Upper(token.text) == keyword;
}

FileReader DiskReader() {
  return [](const std::filesystem::path& path) -> std::optional<std::string> {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
}

}  // namespace rc
