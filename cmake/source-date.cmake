# The time stamp of the images we ship (Setup.exe and the stand-ins it
# carries), so that the same sources give the same bytes whenever and
# wherever they are built: SOURCE_DATE_EPOCH when the build's environment
# sets it, otherwise the date of the sources' last commit, otherwise none (a
# zero time stamp). The linker computes the PE checksum over the stamped image.
#
# Included by the Windows build, this file defines the target source_date,
# which on every build writes the date, or an empty line for none, to
# ${SOURCE_DATE_FILE} (rewritten only when it changes, so an image is linked
# again exactly when its date changes), and marlune_dated_image(TARGET),
# which links TARGET through cmake/dated-link.sh with that date. Run as a
# script (cmake -P) it writes the file.

if(CMAKE_SCRIPT_MODE_FILE)
  # -DSOURCE_DIR= -DGIT= -DOUTPUT=
  set(date "")
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(date "$ENV{SOURCE_DATE_EPOCH}")
    # The PE header holds the time stamp in 32 bits, unsigned.
    string(LENGTH "${date}" digits)
    if(NOT date MATCHES "^[0-9]+$" OR digits GREATER 10 OR date GREATER 4294967295)
      message(FATAL_ERROR "SOURCE_DATE_EPOCH=${date}: not a time a PE image can hold "
        "(seconds since 1970 as a decimal number, at most 4294967295)")
    endif()
  elseif(GIT)
    # Only the sources' own repository counts: a copy of them unpacked inside
    # another checkout has no commit of its own.
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
      OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${SOURCE_DIR}" source)
      if(top STREQUAL source)
        execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} log -1 --format=%ct
          OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(NOT date MATCHES "^[0-9]+$")
          set(date "")
        endif()
      endif()
    endif()
  endif()
  file(WRITE ${OUTPUT}.new "${date}\n")
  file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
  file(REMOVE ${OUTPUT}.new)
  return()
endif()

find_program(SOURCE_DATE_GIT git)
set(SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date)
add_custom_target(source_date
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DGIT=${SOURCE_DATE_GIT}
    -DOUTPUT=${SOURCE_DATE_FILE} -P ${CMAKE_CURRENT_LIST_FILE}
  BYPRODUCTS ${SOURCE_DATE_FILE}
  COMMENT "Taking the images' time stamp from SOURCE_DATE_EPOCH or the last commit")

function(marlune_dated_image target)
  add_dependencies(${target} source_date)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SOURCE_DATE_FILE})
  set_target_properties(${target} PROPERTIES
    C_LINKER_LAUNCHER "sh;${CMAKE_SOURCE_DIR}/cmake/dated-link.sh;${SOURCE_DATE_FILE}"
    CXX_LINKER_LAUNCHER "sh;${CMAKE_SOURCE_DIR}/cmake/dated-link.sh;${SOURCE_DATE_FILE}")
endfunction()
