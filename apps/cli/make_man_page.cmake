# Writes the manual page of the tool with help2man: the main help and version
# as help2man reads them, plus one section per command with its own help,
# kept as it is laid out. Run by the target ulvadern_man:
#   cmake -DTOOL=path/to/ulvadern -DHELP2MAN=path/to/help2man -DOUTPUT=man/ulvadern.1 -P this
foreach(variable TOOL HELP2MAN OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make_man_page.cmake needs -D${variable}=...")
  endif()
endforeach()

get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
set(include_file ${OUTPUT}.h2m)
file(WRITE ${include_file} "")
foreach(command denoise call info)
  execute_process(COMMAND ${TOOL} help ${command}
    OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "`${TOOL} help ${command}` failed: ${status}")
  endif()
  # roff: a backslash is \e; a line starting with . or ' would be a request.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(TOUPPER ${command} title)
  file(APPEND ${include_file} "[COMMAND ${title}]\n.nf\n${text}.fi\n\n")
endforeach()

execute_process(COMMAND ${HELP2MAN} --no-info --section=1
    "--name=edge-preserving wavelet denoising of images"
    --include=${include_file} --output=${OUTPUT}.new ${TOOL}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed: ${status}")
endif()
file(RENAME ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${include_file})
