# Installing ulvadern: `cmake --install`, find_package(ulvadern) and
# pkg-config, the Debian package (cpack -G DEB), the Octave package (target
# octave_package) and what setup.py puts in the Python wheel.
#
# Installed programs and libraries find ours through $ORIGIN-relative search
# paths, and the hosts find libulvadern.so beside libulvhost.so, so an
# installed tree works wherever it is unpacked, with no environment variables.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ULV_OCTAVE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/ulvadern/octave CACHE STRING
  "Where the Octave MEX files go, relative to the prefix")

# The path from DIR to DESTINATION, both relative to the prefix.
function(ulv_relative_path result dir destination)
  file(RELATIVE_PATH path /prefix/${dir} /prefix/${destination})
  string(REGEX REPLACE "/$" "" path "${path}")
  set(${result} "${path}" PARENT_SCOPE)
endfunction()

# $ORIGIN and the way from DIR to the library directory: the wheel and the
# Octave package keep everything in one directory, a prefix does not.
function(ulv_set_install_rpath target dir)
  ulv_relative_path(up ${dir} ${CMAKE_INSTALL_LIBDIR})
  set(rpath "\$ORIGIN")
  if(up)
    set(rpath "\$ORIGIN/${up};\$ORIGIN")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${rpath}")
endfunction()

# --- Libraries and the command-line tool -----------------------------------
set_target_properties(ulvhost ulvadern_lib PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(ulvadern_lib PROPERTIES INSTALL_RPATH "\$ORIGIN")
install(TARGETS ulvadern_lib LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
if(TARGET ulvadern_cli)
  ulv_set_install_rpath(ulvadern_cli ${CMAKE_INSTALL_BINDIR})
  install(TARGETS ulvadern_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

# --- The consumer-facing target ulvadern::ulvadern: the host library -------
# In the build tree the host's interface is the source tree's include
# directories and dependencies; installed, it is the headers under include/
# and libulvhost.so alone, which names its own dependencies.
get_target_property(ulv_host_includes ulvhost INTERFACE_INCLUDE_DIRECTORIES)
get_target_property(ulv_host_links ulvhost INTERFACE_LINK_LIBRARIES)
list(APPEND ulv_host_includes ${PROJECT_SOURCE_DIR}/include)
list(REMOVE_DUPLICATES ulv_host_includes)
set(ulv_interface_includes "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
foreach(dir IN LISTS ulv_host_includes)
  list(APPEND ulv_interface_includes "$<BUILD_INTERFACE:${dir}>")
endforeach()
set(ulv_interface_links)
foreach(library IN LISTS ulv_host_links)
  list(APPEND ulv_interface_links "$<BUILD_INTERFACE:${library}>")
endforeach()
set_target_properties(ulvhost PROPERTIES
  EXPORT_NAME ulvadern
  INTERFACE_INCLUDE_DIRECTORIES "${ulv_interface_includes}"
  INTERFACE_LINK_LIBRARIES "${ulv_interface_links}")
target_compile_features(ulvhost PUBLIC cxx_std_20)
target_include_directories(ulvhost PRIVATE ${PROJECT_SOURCE_DIR}/include)

install(TARGETS ulvhost EXPORT ulvadernTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY include/ulvadern DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

set(ULV_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ulvadern)
install(EXPORT ulvadernTargets NAMESPACE ulvadern:: DESTINATION ${ULV_CMAKE_INSTALL_DIR}
  COMPONENT development)
configure_package_config_file(cmake/ulvadernConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ulvadernConfig.cmake INSTALL_DESTINATION ${ULV_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ulvadernConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ulvadernConfig.cmake ${CMAKE_BINARY_DIR}/ulvadernConfigVersion.cmake
  DESTINATION ${ULV_CMAKE_INSTALL_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place.
ulv_relative_path(ULV_PC_PREFIX ${CMAKE_INSTALL_LIBDIR}/pkgconfig .)
set(ULV_PC_CFLAGS "-I\${includedir}")
configure_file(cmake/ulvadern.pc.in ${CMAKE_BINARY_DIR}/ulvadern.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ulvadern.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# --- Manual page -----------------------------------------------------------
if(TARGET ulvadern_man)
  install(FILES ${CMAKE_BINARY_DIR}/man/ulvadern.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT runtime OPTIONAL)
endif()

# --- Octave: MEX files, their shared bridge and help -----------------------
if(TARGET octave_mex)
  ulv_set_install_rpath(ulvoctave ${ULV_OCTAVE_INSTALL_DIR})
  install(TARGETS ulvoctave LIBRARY DESTINATION ${ULV_OCTAVE_INSTALL_DIR} COMPONENT octave)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/octave/ DESTINATION ${ULV_OCTAVE_INSTALL_DIR}
    COMPONENT octave FILES_MATCHING PATTERN "*.mex")
  install(DIRECTORY apps/octave/help/ DESTINATION ${ULV_OCTAVE_INSTALL_DIR} COMPONENT octave
    OPTIONAL FILES_MATCHING PATTERN "*.m")
  include(${CMAKE_CURRENT_LIST_DIR}/OctavePackage.cmake)
endif()

# --- Python: the package where the Python it was built for looks ---------
if(TARGET ulvadern_python)
  # Debian's Python reads lib/python3.X/dist-packages under /usr and
  # /usr/local; any other reads its own site-packages.
  execute_process(COMMAND ${ULV_PYTHON_EXECUTABLE} -c [[
import sys, sysconfig
debian = "deb_system" in sysconfig.get_scheme_names()
path = sysconfig.get_path("platlib", "posix_prefix", vars={"base": "/P", "platbase": "/P"})
print((f"lib/python{sys.version_info[0]}.{sys.version_info[1]}/dist-packages" if debian
       else path[len("/P/"):]), end="")
]] OUTPUT_VARIABLE ulv_python_site RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${ULV_PYTHON_EXECUTABLE} cannot say where its packages go")
  endif()
  set(ULV_PYTHON_INSTALL_DIR ${ulv_python_site} CACHE STRING
    "Where the Python package goes, relative to the prefix")
  set(package_dir ${ULV_PYTHON_INSTALL_DIR}/ulvadern)
  ulv_set_install_rpath(ulvadern_python ${package_dir})
  install(TARGETS ulvadern_python LIBRARY DESTINATION ${package_dir} COMPONENT python)
  install(DIRECTORY apps/python/ulvadern/ DESTINATION ${package_dir} COMPONENT python
    PATTERN __pycache__ EXCLUDE)
  # `python3 -m ulvadern` runs the command-line tool found beside the package.
  ulv_relative_path(tool ${package_dir} ${CMAKE_INSTALL_BINDIR}/ulvadern)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/python-install)
  file(CREATE_LINK ${tool} ${CMAKE_BINARY_DIR}/python-install/ulvadern SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/python-install/ulvadern DESTINATION ${package_dir}
    COMPONENT python)
endif()

# --- Debian package: cpack -G DEB ------------------------------------------
set(CPACK_PACKAGE_NAME ulvadern)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ulvadern maintainers <ulvadern@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edge-preserving noise removal for gray-level images")
set(CPACK_PACKAGE_DESCRIPTION "Wavelet-based denoiser with a command-line tool, a C++ library,\
 a Python module and Octave MEX functions.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_INSTALL_LIBDIR} ${ULV_OCTAVE_INSTALL_DIR})
# What shlibdeps cannot see: the Python module imports NumPy, and the host
# opens libmatio (libmatio.so.N, in Debian's package libmatioN) on first use.
string(REGEX REPLACE "^lib([a-z]+)\\.so\\.([0-9]+)$" "lib\\1\\2" ulv_matio_package ${ULV_MATIO_SONAME})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-numpy, ${ulv_matio_package}")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "octave, python3-dask, python3-distributed")
include(CPack)
