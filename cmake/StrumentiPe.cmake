# Windows PE files built at build time with the LLVM tools (llvm-rc, llvm-mc, lld-link):
# version resources compiled from .rc sources, entry points assembled, programs linked.
# /Brepro leaves the time stamp out, so the same sources give the same bytes.
#
# VQ_PE_STRUMENTI is true when all three tools were found; VQ_LLD_LINK names the linker
# for callers that link other kinds of files (DLLs) themselves.
#
#   vq_risorsa_rc(<file.res> RC <file.rc>)
#   vq_oggetto_avvio(<file.obj> ASM <entry.s> [MACHINE x86|x64])
#   vq_eseguibile_pe(<output> RC <file.rc> ASM <entry.s> [MACHINE x86|x64])
#
# The assembly source defines the entry point: "_start" for x86, "start" for x64.
# Included by each folder that needs it: VQ_PE_STRUMENTI is a variable of the folder.

find_program(VQ_LLVM_RC NAMES llvm-rc llvm-rc-14)
find_program(VQ_LLD_LINK NAMES lld-link lld-link-14)
find_program(VQ_LLVM_MC NAMES llvm-mc llvm-mc-14)
if(VQ_LLVM_RC AND VQ_LLD_LINK AND VQ_LLVM_MC)
  set(VQ_PE_STRUMENTI TRUE)
else()
  set(VQ_PE_STRUMENTI FALSE)
endif()

function(vq_risorsa_rc res)
  cmake_parse_arguments(P "" "RC" "" ${ARGN})
  get_filename_component(dir ${res} DIRECTORY)
  # llvm-rc takes any argument starting with "/" for an option, an absolute path
  # included: "--" ends the options before the input file.
  add_custom_command(OUTPUT ${res}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VQ_LLVM_RC} /c 65001 /fo ${res} -- ${P_RC}
    DEPENDS ${P_RC} VERBATIM)
endfunction()

function(vq_triple_pe macchina variabile)
  if(macchina STREQUAL "x86")
    set(${variabile} i686-pc-windows-msvc PARENT_SCOPE)
  elseif(macchina STREQUAL "x64")
    set(${variabile} x86_64-pc-windows-msvc PARENT_SCOPE)
  else()
    message(FATAL_ERROR "MACHINE must be x86 or x64, not ${macchina}")
  endif()
endfunction()

function(vq_oggetto_avvio obj)
  cmake_parse_arguments(P "" "ASM;MACHINE" "" ${ARGN})
  if(NOT P_MACHINE)
    set(P_MACHINE x86)
  endif()
  vq_triple_pe(${P_MACHINE} triple)
  get_filename_component(dir ${obj} DIRECTORY)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VQ_LLVM_MC} -triple=${triple} -filetype=obj -o ${obj} ${P_ASM}
    DEPENDS ${P_ASM} VERBATIM)
endfunction()

function(vq_eseguibile_pe uscita)
  cmake_parse_arguments(P "" "RC;ASM;MACHINE" "" ${ARGN})
  if(NOT P_MACHINE)
    set(P_MACHINE x86)
  endif()
  vq_triple_pe(${P_MACHINE} triple)  # checks the machine
  set(extra)
  if(P_MACHINE STREQUAL "x86")
    set(extra /safeseh:no)
  endif()
  get_filename_component(base ${uscita} NAME_WE)
  get_filename_component(dir ${uscita} DIRECTORY)
  set(obj ${dir}/${base}.obj)
  set(res ${dir}/${base}.res)
  vq_oggetto_avvio(${obj} ASM ${P_ASM} MACHINE ${P_MACHINE})
  vq_risorsa_rc(${res} RC ${P_RC})
  add_custom_command(OUTPUT ${uscita}
    COMMAND ${VQ_LLD_LINK} /nologo /Brepro /machine:${P_MACHINE} ${extra} /subsystem:windows
            /entry:start /nodefaultlib /out:${uscita} ${obj} ${res}
    DEPENDS ${obj} ${res} VERBATIM)
endfunction()
