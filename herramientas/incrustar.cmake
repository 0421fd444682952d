# cmake -DENTRADA=file -DSALIDA=file.cpp -DNOMBRE=SYMBOL -P incrustar.cmake
# Writes a C++ file that defines the bytes of ENTRADA as
# `const unsigned char NOMBRE[]` and their count as `NOMBRE`'s length,
# `LONG_<NOMBRE>`.
file(READ ${ENTRADA} contenido HEX)
string(LENGTH "${contenido}" cifras)
math(EXPR largo "${cifras} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${contenido}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${SALIDA}.tmp
"// Made from ${ENTRADA} by incrustar.cmake; not edited by hand.
#include <cstdint>
extern const unsigned char ${NOMBRE}[];
extern const uint32_t LONG_${NOMBRE};
const unsigned char ${NOMBRE}[] = {
${bytes}
};
const uint32_t LONG_${NOMBRE} = ${largo};
")
file(COPY_FILE ${SALIDA}.tmp ${SALIDA} ONLY_IF_DIFFERENT)
file(REMOVE ${SALIDA}.tmp)
