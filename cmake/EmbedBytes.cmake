# cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DSYMBOL=NAME -P EmbedBytes.cmake
# Writes a C++ source that holds FILE's bytes: `extern const unsigned char NAME[]` and
# `extern const size_t NAME_size` (the build embeds the program's .res image this way).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line keeps the file readable and the compiler's lines short.
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/EmbedBytes.cmake; do not edit.\n"
  "#include <cstddef>\n\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const std::size_t ${SYMBOL}_size;\n"
  "alignas(4) const unsigned char ${SYMBOL}[${size} + 1] = {\n  ${bytes}0};\n"
  "const std::size_t ${SYMBOL}_size = ${size};\n")
# Rewritten only when the bytes changed, so that an unchanged image compiles nothing again.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
