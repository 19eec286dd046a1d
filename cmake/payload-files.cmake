# The ten files Setup.exe carries, and the check of a release folder that
# supplies them in place of the stand-ins. Included by both builds: the host
# build checks the folder when it is configured, the Windows build embeds it.

# Resource name, carried file name, and the target that builds the stand-in
# (if any), in the catalogue's order.
set(PAYLOAD_CATALOGUE
  "MARLUNERELEASENOTES.TXT|MarluneReleaseNotes.txt|"
  "MIXER.EXE|Mixer.exe|payload_mixer"
  "REGISTER.EXE|Register.exe|payload_register"
  "RMVESK.EXE|RmVesk.exe|payload_rmvesk"
  "VESK.DLL|Vesk.Dll|payload_vesk_dll"
  "VESK.DRV|Vesk.Drv|"
  "VESK.INF|Vesk.Inf|"
  "VESK.SYS|Vesk.Sys|payload_vesk_sys"
  "VESK.VXD|Vesk.VxD|"
  "VESKASIO.DLL|VeskASIO.Dll|payload_veskasio")

# Matches the files of the release folder DIR to the catalogue, ignoring
# case, and sets RELEASE_FILE_<RESOURCE NAME> to each one's path. Refuses
# (a configure error naming every problem) a folder that is missing, lacks a
# catalogue file, holds one name twice in different case, or holds an empty
# catalogue file; other files are listed in a warning and not carried.
function(payload_match_release_folder dir)
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "MARLUNE_RELEASE_DIR: ${dir} is not a folder")
  endif()
  set(resources "")
  foreach(row ${PAYLOAD_CATALOGUE})
    string(REGEX REPLACE "\\|.*" "" resource "${row}")
    list(APPEND resources ${resource})
  endforeach()
  file(GLOB entries LIST_DIRECTORIES false RELATIVE "${dir}" "${dir}/*")
  list(SORT entries)
  set(problems "")
  set(ignored "")
  foreach(entry ${entries})
    string(TOUPPER "${entry}" upper)
    if(NOT upper IN_LIST resources)
      list(APPEND ignored "${entry}")
    elseif(DEFINED found_${upper})
      list(APPEND problems "holds both ${found_${upper}} and ${entry}: one name in different case")
    else()
      set(found_${upper} "${entry}")
      file(SIZE "${dir}/${entry}" size)
      if(size EQUAL 0)
        list(APPEND problems "holds an empty ${entry}")
      endif()
    endif()
  endforeach()
  foreach(row ${PAYLOAD_CATALOGUE})
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 resource)
    list(GET row 1 carried)
    if(DEFINED found_${resource})
      set(RELEASE_FILE_${resource} "${dir}/${found_${resource}}" PARENT_SCOPE)
    else()
      list(APPEND problems "lacks ${carried}")
    endif()
  endforeach()
  if(problems)
    list(JOIN problems "\n  " problems)
    message(FATAL_ERROR "MARLUNE_RELEASE_DIR: the release folder ${dir} cannot be carried:\n  ${problems}")
  endif()
  if(ignored)
    list(JOIN ignored ", " ignored)
    message(WARNING "MARLUNE_RELEASE_DIR: not carried (not in the catalogue): ${ignored}")
  endif()
endfunction()
