# Writes INPUT into OUTPUT as a C++ character array, so the library carries the file's text.
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
string(REGEX REPLACE "((,'[^']*'){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n"
    "namespace morrowlen::mof::generated {\n"
    "extern const char ${NAME}[] = {\n${bytes}'\\0'};\n"
    "extern const std::size_t ${NAME}Size = ${size};\n}\n")
