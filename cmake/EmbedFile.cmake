# Script mode: turns IN into a C++ array named SYMBOL in OUT, declared by embedded/SYMBOL.hpp.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "#include \"embedded/${SYMBOL}.hpp\"\nnamespace embedded {\nconst unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\nconst std::size_t ${SYMBOL}_size = ${size};\n}\n")
