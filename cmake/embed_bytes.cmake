# cmake -DINPUT=<file> -DOUTPUT=<source> -DNAME=<symbol> -P embed_bytes.cmake
# Writes a C++ source that defines the file's bytes as zv::<NAME> and their count as zv::<NAME>Size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by cmake/embed_bytes.cmake from ${INPUT}; do not edit.\n#include <cstdint>\n\nnamespace zv {\n\nextern const uint8_t ${NAME}[];\nextern const int32_t ${NAME}Size;\nconst uint8_t ${NAME}[] = {\n  ${bytes}\n};\nconst int32_t ${NAME}Size = ${size};\n\n}  // namespace zv\n")
