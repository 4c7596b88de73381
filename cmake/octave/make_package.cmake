# Assembles the Octave package from an install of the octave and runtime
# components into STAGE, then packs it. Run by the target octave_package.
set(prefix ${STAGE}/prefix)
file(REMOVE_RECURSE ${prefix} ${STAGE}/ulvadern)
foreach(component runtime octave)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    --component ${component} --strip OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "installing the ${component} component into ${prefix} failed")
  endif()
endforeach()

set(inst ${STAGE}/ulvadern/inst)
file(MAKE_DIRECTORY ${inst})
file(GLOB octave_files ${prefix}/${OCTAVE_DIR}/*)
file(COPY ${octave_files} DESTINATION ${inst})
# The libraries under the names they are looked for by: libulvhost.so.1 (the
# bridge's dependency) and libulvadern.so (what the host opens).
file(GLOB host_soname ${prefix}/${LIB_DIR}/libulvhost.so.?)
list(LENGTH host_soname found)
if(NOT found EQUAL 1)
  message(FATAL_ERROR "found ${found} libulvhost.so.N in ${prefix}/${LIB_DIR}, not one")
endif()
foreach(library ${host_soname} ${prefix}/${LIB_DIR}/libulvadern.so)
  file(REAL_PATH ${library} target)
  get_filename_component(name ${library} NAME)
  file(COPY_FILE ${target} ${inst}/${name})
endforeach()
file(COPY ${STAGE}/DESCRIPTION ${COPYING} DESTINATION ${STAGE}/ulvadern)

file(REMOVE ${TARBALL})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${TARBALL} ulvadern
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${TARBALL})
  message(FATAL_ERROR "cannot write ${TARBALL}")
endif()
