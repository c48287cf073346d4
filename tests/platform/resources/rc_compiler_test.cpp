// Tests of tools/rc, the resource compiler: the script syntax rc and windres read (ids, names,
// types, file paths, STRINGTABLE strings and escapes, raw data, comments, the preprocessor),
// the layout of what it builds (string blocks, icon groups, bitmaps), and errors that name
// the file and line.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Script.h"

namespace {

// Compiles scripts held in memory: files maps a path to its content; "test.rc" is the script.
class RcCompiler : public ::testing::Test {
 protected:
  std::map<std::string, std::string> files;

  rc::Script compile(const std::string& script) {
    files["dir/test.rc"] = script;
    rc::Options options;
    options.includeDirs = {"inc"};
    options.reader = [this](const std::filesystem::path& p) -> std::optional<std::string> {
      const auto f = files.find(p.lexically_normal().generic_string());
      if (f == files.end()) return std::nullopt;
      return f->second;
    };
    return rc::Compile("dir/test.rc", options);
  }

  // The error message of a script that must fail.
  std::string error(const std::string& script) {
    try {
      compile(script);
    } catch (const rc::CompileError& e) {
      return e.what();
    }
    return "(compiled without error)";
  }

  static const rc::Resource* find(const rc::Script& s, const rc::Key& type, const rc::Key& name) {
    for (const auto& r : s.resources) {
      if (r.type == type && r.name == name) return &r;
    }
    return nullptr;
  }

  static std::string bytes(const rc::Resource* r) {
    return r == nullptr ? "(missing)" : std::string(r->data.begin(), r->data.end());
  }

  // String number id of a compiled script, read back from its RT_STRING block.
  static std::u16string stringOf(const rc::Script& s, unsigned id) {
    const rc::Resource* block = find(s, rc::Key::Id(rc::kRtString), rc::Key::Id(static_cast<uint16_t>(id / 16 + 1)));
    if (block == nullptr) return u"(no block)";
    size_t at = 0;
    auto word = [&](size_t k) { return static_cast<char16_t>(block->data[k] | (block->data[k + 1] << 8)); };
    for (unsigned i = 0; i < id % 16; ++i) at += 2 + 2 * size_t{word(at)};
    std::u16string out;
    for (size_t k = 0; k < word(at); ++k) out += word(at + 2 + 2 * k);
    return out;
  }
};

TEST_F(RcCompiler, NumericIdsAndCustomTypes) {
  files["dir/gif/110.gif"] = "GIF89a-110";
  files["dir/a.wav"] = "RIFF";
  const auto s = compile("110 GIF \"gif/110.gif\"\n0x9F WAVE \"a.wav\"\n(100 + 2) | 1 GIF \"gif/110.gif\"\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Text(u"GIF"), rc::Key::Id(110))), "GIF89a-110");
  EXPECT_EQ(bytes(find(s, rc::Key::Text(u"WAVE"), rc::Key::Id(159))), "RIFF");
  EXPECT_NE(find(s, rc::Key::Text(u"GIF"), rc::Key::Id(103)), nullptr);
}

TEST_F(RcCompiler, NamedIdsAreUpperCased) {
  const auto s = compile("HI_res_Aware CEUX { 1 }\n\"quoted\" RCDATA { 2 }\nname 300 { 3 }\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Text(u"CEUX"), rc::Key::Text(u"HI_RES_AWARE"))), std::string("\1\0", 2));
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Text(u"QUOTED"))), std::string("\2\0", 2));
  EXPECT_EQ(bytes(find(s, rc::Key::Id(300), rc::Key::Text(u"NAME"))), std::string("\3\0", 2));
}

TEST_F(RcCompiler, QuotedPathsWithBackslashesAndIncludeDirs) {
  files["dir/wav/159.wav"] = "W";
  files["inc/shared.bin"] = "S";
  const auto s = compile("159 WAVE \"wav\\\\159.wav\"\n1 RCDATA \"shared.bin\"\n2 RCDATA \"wav\\159.wav\"\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Text(u"WAVE"), rc::Key::Id(159))), "W");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(1))), "S");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(2))), "W");
  ASSERT_EQ(s.dependencies.size(), 4u);  // the script and three data files
}

TEST_F(RcCompiler, StringTableEscapes) {
  const auto s = compile(
      "STRINGTABLE\nBEGIN\n"
      "  1 \"Melodex\"\n"
      "  2, \"a\\r\\nb\"\n"
      "  3 \"say \"\"hi\"\"\"\n"
      "  4 \"tab\\there\"\n"
      "  5 \"back\\\\slash \\\"q\\\" \\x41\\101 \\a\"\n"
      "  6 \"joined \" \"text\"\n"
      "  7 L\"wide \\x263A\"\n"
      "  8 \"\"\n"
      "END\n");
  EXPECT_EQ(stringOf(s, 1), u"Melodex");
  EXPECT_EQ(stringOf(s, 2), u"a\r\nb");
  EXPECT_EQ(stringOf(s, 3), u"say \"hi\"");
  EXPECT_EQ(stringOf(s, 4), u"tab\there");
  EXPECT_EQ(stringOf(s, 5), u"back\\slash \"q\" AA \b");
  EXPECT_EQ(stringOf(s, 6), u"joined text");
  EXPECT_EQ(stringOf(s, 7), u"wide \u263A");
  EXPECT_EQ(stringOf(s, 8), u"");
}

TEST_F(RcCompiler, StringBlocksAsWin32StoresThem) {
  const auto s = compile("STRINGTABLE { 1 \"a\" 17 \"bc\" }\nSTRINGTABLE BEGIN 31 \"d\" END\n");
  const rc::Resource* block1 = find(s, rc::Key::Id(rc::kRtString), rc::Key::Id(1));
  ASSERT_NE(block1, nullptr);
  // Sixteen length-prefixed strings: 0 is empty, 1 is "a", the other 14 empty.
  EXPECT_EQ(block1->data.size(), 2u * 16 + 2);
  EXPECT_EQ(stringOf(s, 17), u"bc");
  EXPECT_EQ(stringOf(s, 31), u"d");  // the last slot of block 2
  EXPECT_EQ(stringOf(s, 16), u"");
  EXPECT_EQ(find(s, rc::Key::Id(rc::kRtString), rc::Key::Id(3)), nullptr);
}

TEST_F(RcCompiler, CodePages) {
  const auto s = compile("STRINGTABLE { 1 \"caf\xe9 \x80\" }\n#pragma code_page(65001)\nSTRINGTABLE { 2 \"caf\xc3\xa9\" }\n");
  EXPECT_EQ(stringOf(s, 1), u"caf\u00e9 \u20ac");  // Windows-1252 by default
  EXPECT_EQ(stringOf(s, 2), u"caf\u00e9");
}

TEST_F(RcCompiler, CommentsAnywhere) {
  const auto s = compile(
      "// a line comment\n/* a block\n   comment */ 1 /* inside */ RCDATA // after\n"
      "BEGIN 1, /* two */ 2 END\nSTRINGTABLE { 9 \"not // a comment\" }\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(1))), std::string("\1\0\2\0", 4));
  EXPECT_EQ(stringOf(s, 9), u"not // a comment");
}

TEST_F(RcCompiler, RawDataWordsLongsAndStrings) {
  const auto s = compile("1 RCDATA { 1, 0x1234L, \"ab\", L\"c\", -1 }\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(1))),
            std::string("\x01\x00\x34\x12\x00\x00" "ab" "c\x00" "\xff\xff", 12));
}

TEST_F(RcCompiler, DefinesAndIncludes) {
  files["dir/resource.h"] =
      "#ifndef RESOURCE_H\n#define RESOURCE_H\n#define IDI_MAIN 101\n#define IDS_TITLE 1\n"
      "#define IDB_BASE 0x100\nint declarations_are_ignored(void);\n#endif\n";
  files["dir/i.ico"] = std::string("\0\0\1\0\1\0", 6) + std::string(16, '\0');
  const auto s = compile(
      "#include \"resource.h\"\n#include \"resource.h\"\n#define IDB_NEXT (IDB_BASE + 1)\n"
      "IDB_NEXT RCDATA { IDB_BASE }\nSTRINGTABLE { IDS_TITLE \"T\" }\n"
      "#ifdef IDS_TITLE\n2 RCDATA { 7 }\n#else\n3 RCDATA { 7 }\n#endif\n"
      "#if defined(NOPE) || IDI_MAIN == 101\n4 RCDATA { 8 }\n#endif\n#if 0\nthis is skipped\n#endif\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(0x101))), std::string("\0\1", 2));
  EXPECT_EQ(stringOf(s, 1), u"T");
  EXPECT_NE(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(2)), nullptr);
  EXPECT_EQ(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(3)), nullptr);
  EXPECT_NE(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(4)), nullptr);
}

TEST_F(RcCompiler, IconFileBecomesImagesAndAGroup) {
  // An .ico with two images: 16x16 and 32x32, each a 40-byte header plus a few bytes.
  std::string ico("\0\0\1\0\2\0", 6);
  auto entry = [](char size, uint32_t bytes, uint32_t offset) {
    std::string e{size, size, 0, 0, 1, 0, 24, 0};
    for (uint32_t v : {bytes, offset}) for (int k = 0; k < 4; ++k) e += static_cast<char>(v >> (8 * k));
    return e;
  };
  ico += entry(16, 44, 38) + entry(32, 48, 82);
  ico += std::string("\x28\0\0\0", 4) + std::string(40, 'a') + std::string("\x28\0\0\0", 4) + std::string(44, 'b');
  files["dir/app.ico"] = ico;
  const auto s = compile("101 ICON \"app.ico\"\n102 ICON \"app.ico\"\n");
  const rc::Resource* group = find(s, rc::Key::Id(rc::kRtGroupIcon), rc::Key::Id(101));
  ASSERT_NE(group, nullptr);
  ASSERT_EQ(group->data.size(), 6u + 2 * 14);
  EXPECT_EQ(group->data[4], 2);
  EXPECT_EQ(group->data[6], 16);
  EXPECT_EQ(group->data[6 + 12], 1);       // first RT_ICON id
  EXPECT_EQ(group->data[6 + 14 + 12], 2);  // second
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtIcon), rc::Key::Id(2))).size(), 48u);
  // Icon ids run on across the script, as with rc.
  EXPECT_NE(find(s, rc::Key::Id(rc::kRtIcon), rc::Key::Id(4)), nullptr);
}

TEST_F(RcCompiler, BitmapLosesItsFileHeader) {
  files["dir/b.bmp"] = std::string("BM") + std::string(12, '\0') + "DIB";
  const auto s = compile("7 BITMAP \"b.bmp\"\n");
  EXPECT_EQ(bytes(find(s, rc::Key::Id(rc::kRtBitmap), rc::Key::Id(7))), "DIB");
}

TEST_F(RcCompiler, LanguageStatement) {
  const auto s = compile("LANGUAGE 9, 1\n1 RCDATA { 1 }\n2 RCDATA LANGUAGE 7, 1 { 1 }\n");
  EXPECT_EQ(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(1))->language, 0x0409);
  EXPECT_EQ(find(s, rc::Key::Id(rc::kRtRcdata), rc::Key::Id(2))->language, 0x0407);
}

TEST_F(RcCompiler, MelodexScriptCompiles) {
  // The real script, from the source tree, through the disk reader.
  const char* source = std::getenv("MELODEX_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const rc::Script s = rc::Compile(std::filesystem::path(source) / "res" / "melodex.rc");
  EXPECT_NE(find(s, rc::Key::Text(u"CEUX"), rc::Key::Text(u"HI_RES_AWARE")), nullptr);
  EXPECT_EQ(find(s, rc::Key::Id(rc::kRtAccelerator), rc::Key::Id(2)), nullptr);
  const std::string cpp = rc::EmitCpp(s, "g_test", "melodex");
  EXPECT_NE(cpp.find("const platform::ResourceModule g_test = {\"melodex\", kEntries, "), std::string::npos);
  const std::string dep = rc::EmitDepfile(s, "out.cpp");
  EXPECT_EQ(dep.rfind("out.cpp:", 0), 0u);
  EXPECT_NE(dep.find("159.wav"), std::string::npos);
}

// Each malformed script gives an error naming the file and the line.
struct Malformed {
  const char* name;
  const char* script;
  const char* expected;  // a part of the message, after "dir/test.rc:LINE: error: "
  int line;
};

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.name; }

class RcErrors : public RcCompiler, public ::testing::WithParamInterface<Malformed> {};

TEST_P(RcErrors, NameTheLine) {
  const Malformed m = GetParam();
  const std::string message = error(m.script);
  EXPECT_NE(message.find("dir/test.rc:" + std::to_string(m.line) + ": error: "), std::string::npos) << message;
  EXPECT_NE(message.find(m.expected), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RcErrors,
    ::testing::Values(
        Malformed{"MissingFile", "\n\n110 GIF\n", "expected a file name in quotes", 3},
        Malformed{"MissingType", "1 RCDATA { 1 }\n\n110 { 1 }", "expected a resource type after '110', found '{'", 3},
        Malformed{"FileNotFound", "// c\n110 GIF \"gif/none.gif\"\n", "cannot open file 'gif/none.gif'", 2},
        Malformed{"Unterminated", "STRINGTABLE\nBEGIN\n 1 \"abc\nEND\n", "unterminated string", 3},
        Malformed{"NoEnd", "STRINGTABLE\nBEGIN\n 1 \"abc\"\n", "STRINGTABLE without END", 1},
        Malformed{"DuplicateString", "STRINGTABLE { 1 \"a\"\n 1 \"b\" }\n", "string id 1 is defined twice (first at dir/test.rc:1)", 2},
        Malformed{"DuplicateResource", "1 RCDATA { 1 }\n1 RCDATA { 2 }\n", "defined twice", 2},
        Malformed{"Accelerators", "\n2 ACCELERATORS\nBEGIN\nEND\n", "ACCELERATORS is not supported", 2},
        Malformed{"UndefinedName", "STRINGTABLE {\n IDS_NOPE \"a\" }\n", "expected a string id", 2},
        Malformed{"BadNumber", "1 RCDATA { 12ab }\n", "malformed number", 1},
        Malformed{"BadCharacter", "1 RCDATA { 1 }\n@\n", "unexpected character '@'", 2},
        Malformed{"IdTooLarge", "70000 RCDATA { 1 }\n", "does not fit in 16 bits", 1},
        Malformed{"IncludeMissing", "\n#include \"nothere.h\"\n", "cannot open include file", 2},
        Malformed{"UnbalancedIf", "#ifdef X\n1 RCDATA { 1 }\n", "missing #endif", 3},
        Malformed{"ErrorDirective", "#define A 1\n#if A\n#error stop here\n#endif\n", "#error stop here", 3},
        Malformed{"FunctionMacro", "#define F(x) x\n", "function-like macros are not supported", 1},
        Malformed{"NotAnIcon", "1 ICON \"test.rc\"\n", "is not an icon file", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
