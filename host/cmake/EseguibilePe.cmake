# Windows PE files built at build time with the LLVM tools: a version resource compiled
# from an .rc source, linked with a one-instruction entry point into a program that
# carries it. /Brepro leaves the time stamp out, so the same sources give the same bytes.
#
#   vq_eseguibile_pe(<output> RC <file.rc> ASM <entry.s> [MACHINE x86|x64])
#
# The assembly source defines the entry point: "_start" for x86, "start" for x64.
# VQ_PE_STRUMENTI is true when llvm-rc, llvm-mc and lld-link were found.
find_program(VQ_LLVM_RC NAMES llvm-rc llvm-rc-14)
find_program(VQ_LLD_LINK NAMES lld-link lld-link-14)
find_program(VQ_LLVM_MC NAMES llvm-mc llvm-mc-14)
if(VQ_LLVM_RC AND VQ_LLD_LINK AND VQ_LLVM_MC)
  set(VQ_PE_STRUMENTI TRUE)
else()
  set(VQ_PE_STRUMENTI FALSE)
endif()

function(vq_eseguibile_pe uscita)
  cmake_parse_arguments(P "" "RC;ASM;MACHINE" "" ${ARGN})
  if(NOT P_MACHINE)
    set(P_MACHINE x86)
  endif()
  if(P_MACHINE STREQUAL "x86")
    set(triple i686-pc-windows-msvc)
    set(extra /safeseh:no)
  elseif(P_MACHINE STREQUAL "x64")
    set(triple x86_64-pc-windows-msvc)
    set(extra)
  else()
    message(FATAL_ERROR "vq_eseguibile_pe: MACHINE must be x86 or x64, not ${P_MACHINE}")
  endif()
  get_filename_component(base ${uscita} NAME_WE)
  get_filename_component(dir ${uscita} DIRECTORY)
  set(obj ${dir}/${base}.obj)
  set(res ${dir}/${base}.res)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VQ_LLVM_MC} -triple=${triple} -filetype=obj -o ${obj} ${P_ASM}
    DEPENDS ${P_ASM} VERBATIM)
  add_custom_command(OUTPUT ${res}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VQ_LLVM_RC} /c 65001 /fo ${res} -- ${P_RC}
    DEPENDS ${P_RC} VERBATIM)
  add_custom_command(OUTPUT ${uscita}
    COMMAND ${VQ_LLD_LINK} /nologo /Brepro /machine:${P_MACHINE} ${extra} /subsystem:windows
            /entry:start /nodefaultlib /out:${uscita} ${obj} ${res}
    DEPENDS ${obj} ${res} VERBATIM)
endfunction()

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
