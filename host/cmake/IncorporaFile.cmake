# cmake -DINPUT=file -DOUTPUT=out.cpp -DSIMBOLO=name [-DNAMESPACE=ns] -P IncorporaFile.cmake
# Writes the bytes of INPUT as a C++ array (see vq_incorpora_file).
file(READ ${INPUT} esadecimale HEX)
string(LENGTH "${esadecimale}" cifre)
math(EXPR dimensione "${cifre} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," byte "${esadecimale}")
# Sixteen bytes a line.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " byte "${byte}")
if(NAMESPACE)
  set(apri "namespace ${NAMESPACE} {\n")
  set(chiudi "}  // namespace ${NAMESPACE}\n")
endif()
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT}: do not edit.\n"
  "#include <cstddef>\n\n"
  "${apri}"
  "extern const unsigned char ${SIMBOLO}[];\n"
  "extern const std::size_t ${SIMBOLO}Dimensione;\n"
  "const unsigned char ${SIMBOLO}[] = {\n    ${byte}\n};\n"
  "const std::size_t ${SIMBOLO}Dimensione = ${dimensione};\n"
  "${chiudi}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
