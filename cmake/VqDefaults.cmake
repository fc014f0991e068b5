# Compiler settings for the project's own targets: strict warnings, treated as errors.
function(vq_target_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion
      -Wnull-dereference -Wdouble-promotion -Wformat=2 -Werror>
    $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra -Werror>)
endfunction()

# An in-process component (a self-registering shared library created by class id):
# hidden symbols, and only the four entry points of an in-process server exported.
function(vq_componente_inprocesso target)
  set(mappa ${VQ_CMAKE_DIR}/componente.map)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON
                                             LINK_DEPENDS ${mappa})
  target_link_options(${target} PRIVATE -Wl,--version-script=${mappa})
  vq_target_defaults(${target})
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# Tests: same warnings minus the noisiest ones that GoogleTest's macros trigger.
function(vq_test_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wshadow -Werror>)
endfunction()

# vq_add_gtest(NAME SOURCES... [LIBS libs...] [LABELS labels...])
function(vq_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vqprove GTest::gtest GTest::gtest_main GTest::gmock)
  vq_test_defaults(${name})
  # Test names come from the cases' own names (or their index), never from a printout
  # of the parameter, which for a plain struct is its raw bytes, pointers included.
  if(T_LABELS)
    # Test discovery writes the properties out word by word: of a list of labels only the
    # first would be set, so a test program carries one label.
    list(LENGTH T_LABELS quante)
    if(quante GREATER 1)
      message(FATAL_ERROR "vq_add_gtest(${name}): one label only, not \"${T_LABELS}\"")
    endif()
    gtest_discover_tests(${name} NO_PRETTY_VALUES PROPERTIES LABELS "${T_LABELS}" DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(${name} NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

set(VQ_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# The shared folder (test samples, real Jet files) sits beside the checkout
# on developer machines and in CI, never on a user's machine.
set(VQ_SHARED_DIR "${CMAKE_SOURCE_DIR}/../shared" CACHE PATH "Folder of shared test material (may be absent)")
