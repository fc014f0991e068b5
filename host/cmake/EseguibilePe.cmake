# The demo host's build helpers: the PE tools (see cmake/StrumentiPe.cmake) and the
# embedding of a built file into a C++ source.
include(${CMAKE_SOURCE_DIR}/cmake/StrumentiPe.cmake)

# vq_incorpora_file(<output.cpp> INPUT <file> SIMBOLO <name> [NAMESPACE <ns>]): a C++
# source defining, in namespace <ns>,
#   extern const unsigned char <name>[];  extern const std::size_t <name>Dimensione;
# with the bytes of <file>, regenerated when the file changes.
function(vq_incorpora_file uscita)
  cmake_parse_arguments(P "" "INPUT;SIMBOLO;NAMESPACE" "" ${ARGN})
  add_custom_command(OUTPUT ${uscita}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${P_INPUT} -DOUTPUT=${uscita} -DSIMBOLO=${P_SIMBOLO}
            -DNAMESPACE=${P_NAMESPACE}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/IncorporaFile.cmake
    DEPENDS ${P_INPUT} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/IncorporaFile.cmake VERBATIM)
endfunction()
