# The import check: Setup.exe and every carried program and library import
# only functions that Windows 95, 98, NT 4, 2000 and XP all export, and link
# no winpthreads code. Each image's link map is kept beside it for the check.
set(CHECK_IMPORTS ${CMAKE_SOURCE_DIR}/tests/imports/check_imports.sh)
set(carried_images payload_mixer payload_register payload_rmvesk payload_vesk_dll payload_veskasio
  payload_vesk_sys)
set(carried_image_args "")
foreach(target ${carried_images})
  target_link_options(${target} PRIVATE -Wl,-Map,$<TARGET_FILE:${target}>.map)
  list(APPEND carried_image_args $<TARGET_FILE:${target}>)
endforeach()
# A release's own programs and libraries are checked as carried (the kernel
# driver aside: the Win32 loader never loads it).
if(MARLUNE_RELEASE_DIR)
  set(carried_image_args --not-linked-here)
  foreach(name Mixer.exe Register.exe RmVesk.exe Vesk.Dll VeskASIO.Dll)
    list(APPEND carried_image_args ${PAYLOAD_DIR}/${name})
  endforeach()
endif()
add_test(NAME image_imports COMMAND ${CHECK_IMPORTS}
  --system-libraries-only $<TARGET_FILE:Setup>=${CMAKE_BINARY_DIR}/Setup.map --crt-dll ${carried_image_args})

# The check must catch a fault: an image that imports GetTickCount64 and links
# winpthreads in is refused, naming both.
add_executable(import_check_planted WIN32 tests/imports/planted.cpp)
target_link_options(import_check_planted PRIVATE -static -Wl,-Map,$<TARGET_FILE:import_check_planted>.map)
target_link_libraries(import_check_planted PRIVATE pthread winmm)
add_test(NAME image_imports_planted COMMAND bash -c
  "out=$(\"$0\" \"$@\") && { echo \"$out\"; echo 'the planted image passed'; exit 1; }
   echo \"$out\"
   grep -q 'KERNEL32.dll!GetTickCount64 is missing on win95' <<<\"$out\" && grep -q 'winpthreads code is linked in' <<<\"$out\" &&
   grep -qi 'imports WINMM.dll, which a loader may take from the program' <<<\"$out\""
  ${CHECK_IMPORTS} --system-libraries-only $<TARGET_FILE:import_check_planted>)

# Setup.exe imports no C runtime DLL and keeps everything but its resources
# (headers, code, data, imports, relocations) within 40 KB.
add_test(NAME setup_size COMMAND ${CMAKE_SOURCE_DIR}/tools/image-size.sh --check 40960 $<TARGET_FILE:Setup>)

# Setup.exe runs on the least processor of every Windows it supports (an
# 80386 for Windows 95): no instruction of a later processor in its code.
set(CHECK_INSTRUCTIONS ${CMAKE_SOURCE_DIR}/tests/check_instructions.sh)
add_test(NAME setup_instructions COMMAND ${CHECK_INSTRUCTIONS} $<TARGET_FILE:Setup>)
# The check must refuse each later instruction, with or without operands.
add_test(NAME setup_instructions_planted COMMAND ${CHECK_INSTRUCTIONS}
  --planted ${CMAKE_SOURCE_DIR}/tests/planted_instructions.s)

# Setup.exe's entry point runs the constructor list as the toolchain orders it.
add_executable(constructor_order WIN32 tests/constructor_order.cpp base/entry.cpp)
target_link_libraries(constructor_order PRIVATE marlune gcc)
target_link_options(constructor_order PRIVATE ${WIN_LINK_FLAGS} -nostdlib -Wl,--entry,_SetupEntry)
add_test(NAME constructor_order COMMAND constructor_order)
# In the unit tests' prefix, whose Wine session each run ends.
set_tests_properties(constructor_order PROPERTIES RESOURCE_LOCK unit_prefix)
