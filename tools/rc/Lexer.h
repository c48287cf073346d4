// Tokens of a resource script after preprocessing: comments removed, #include files read,
// #define'd names replaced, #if/#ifdef sections chosen. The subset of rc's preprocessor that
// resource scripts use: object-like #define, #undef, #include "file" (only the directives of
// .h and .c files count, as with rc), #ifdef, #ifndef, #if/#elif with defined() and integers,
// #else, #endif, #pragma code_page(1252 | 65001), #error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Script.h"

namespace rc {

enum class TokenKind { Identifier, Number, String, Punct, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;        // identifier or punctuation; for strings the raw text between quotes
  uint32_t value = 0;      // numbers
  bool longSuffix = false; // numbers written with L: a 32-bit item in raw data
  bool wide = false;       // strings written L"…"
  int codePage = 1252;     // code page in force where a string was written
  std::shared_ptr<const std::string> file;
  int line = 0;
};

// Reads the script and every file it includes and returns its tokens, ending with an End token.
std::vector<Token> Preprocess(const std::filesystem::path& path, const Options& options,
                              std::vector<std::filesystem::path>* dependencies);

// A string token's text as UTF-16, escapes resolved: \n \r \t \a (0x08) \\ \" \0 \ooo \xhh and
// "" for one quote; literal bytes decoded with the token's code page.
std::u16string DecodeString(const Token& token);

// Case-insensitive comparison of an identifier with a keyword written in upper case.
bool IsKeyword(const Token& token, const char* keyword);

}  // namespace rc
