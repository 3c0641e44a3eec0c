# Turns the text file INPUT into a header OUTPUT that defines it as a string_view.
file(READ ${INPUT} content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#pragma once\n#include <string_view>\nnamespace morvalen {\ninline constexpr char kTablesortBytes[] = {${bytes} '\\0'};\ninline constexpr std::string_view kTablesortJs{kTablesortBytes, sizeof(kTablesortBytes) - 1};\n}  // namespace morvalen\n")
