# `cmake --build build --target octave_package` makes
# build/octave/ulvadern-VERSION.tar.gz, a binary Octave package: the MEX
# files, their help, and the three shared libraries they load, all in one
# directory that `pkg load ulvadern` puts on the path. It is built for the
# Octave whose mkoctfile made the MEX files.
execute_process(COMMAND octave-config -p CANONICAL_HOST_TYPE
  OUTPUT_VARIABLE ULV_OCTAVE_VERSION_HOST OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND octave-config -v
  OUTPUT_VARIABLE ULV_OCTAVE_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
string(REGEX MATCH "^[0-9]+" ULV_OCTAVE_MAJOR "${ULV_OCTAVE_VERSION}")
if(NOT ULV_OCTAVE_MAJOR)
  set(ULV_OCTAVE_MAJOR 7)
endif()
string(TIMESTAMP ULV_PACKAGE_DATE "%Y-%m-%d" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/octave/DESCRIPTION.in
  ${CMAKE_BINARY_DIR}/octave-package/DESCRIPTION @ONLY)

set(ULV_OCTAVE_PACKAGE ${CMAKE_BINARY_DIR}/octave/ulvadern-${PROJECT_VERSION}.tar.gz)
add_custom_target(octave_package
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DSTAGE=${CMAKE_BINARY_DIR}/octave-package
    -DOCTAVE_DIR=${ULV_OCTAVE_INSTALL_DIR}
    -DLIB_DIR=${CMAKE_INSTALL_LIBDIR}
    -DCOPYING=${CMAKE_CURRENT_LIST_DIR}/octave/COPYING
    -DTARBALL=${ULV_OCTAVE_PACKAGE}
    -P ${CMAKE_CURRENT_LIST_DIR}/octave/make_package.cmake
  COMMENT "Making the Octave package ${ULV_OCTAVE_PACKAGE}"
  VERBATIM)
add_dependencies(octave_package octave_mex ulvoctave ulvhost ulvadern_lib)
