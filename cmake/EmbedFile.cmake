# Script mode: turns IN into a C++ array named SYMBOL in OUT.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "#include <cstddef>\nnamespace embedded {\nextern const unsigned char ${SYMBOL}[];\nextern const std::size_t ${SYMBOL}_size;\nconst unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\nconst std::size_t ${SYMBOL}_size = ${size};\n}\n")
