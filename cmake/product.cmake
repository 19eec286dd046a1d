# Setup.exe's code, one library per floor of the house, which the unit tests
# link too:
#   base/                 the ground: the install context, text, messages,
#                         paths, the registry layer, the system libraries,
#                         the progress labels and the entry point; it includes
#                         and links nothing of ours above it;
#   wizard/ payload/ registration/ shell/
#                         the subsystems: each includes and links the ground
#                         and nothing else of ours;
#   setup/                the run: start-up, the sequence, the install step;
#                         the only floor that includes the subsystems.
# A floor compiles with an include root that holds links to just the folders
# it may include (in the build tree), so a wrong include fails the build.
#
# The product's code needs no exception handling, run-time type information
# or guarded statics: none of the C++ runtime that serves them comes along.
# It is compiled for the 80386, the least processor Windows 95 runs on: the
# compiler's default (the Pentium Pro) would use instructions such as CMOV
# that a 486 or Pentium does not have.
# Source paths that reach the code (__FILE__) are written relative to the
# sources, so the image does not depend on where they were checked out.
set(PRODUCT_COMPILE_OPTIONS -Wall -Wextra -Os -march=i386 -fno-exceptions -fno-rtti
  -fno-threadsafe-statics -fno-asynchronous-unwind-tables -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)

# marlune_floor(FOLDER SEES...): the library marlune_FOLDER of FOLDER/*.cpp,
# which may include FOLDER and the folders SEES.
function(marlune_floor folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/setup/main.cpp ${CMAKE_SOURCE_DIR}/base/entry.cpp)
  add_library(marlune_${folder} STATIC ${sources})
  set_target_properties(marlune_${folder} PROPERTIES OUTPUT_NAME marlune-${folder})
  set(root ${CMAKE_BINARY_DIR}/floors/${folder})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(visible ${folder} ${ARGN})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${visible} ${root}/${visible} SYMBOLIC)
  endforeach()
  target_include_directories(marlune_${folder} PRIVATE ${root})
  # Headers reached through the include root are named from the sources' top too.
  target_compile_options(marlune_${folder} PRIVATE ${PRODUCT_COMPILE_OPTIONS} -ffile-prefix-map=${root}/=)
endfunction()

# Only the libraries the loader never takes from the program's folder; LZ32,
# WINMM, OLE32 and SETUPAPI are loaded at run time from the system folder
# (base/system_library.h), so linking them here would be an error.
# libgcc (stack probes) comes last, after every floor that may call it.
marlune_floor(base)
target_link_libraries(marlune_base PUBLIC user32 gdi32 advapi32 gcc)
set(SUBSYSTEMS wizard payload registration shell)
foreach(subsystem ${SUBSYSTEMS})
  marlune_floor(${subsystem} base)
  target_link_libraries(marlune_${subsystem} PUBLIC marlune_base)
endforeach()
marlune_floor(setup base ${SUBSYSTEMS})
list(TRANSFORM SUBSYSTEMS PREPEND marlune_ OUTPUT_VARIABLE subsystem_libraries)
target_link_libraries(marlune_setup PUBLIC ${subsystem_libraries} marlune_base)
# The whole of the product's code, for Setup.exe and the test programs, which
# include it from the top of the sources.
add_library(marlune INTERFACE)
target_link_libraries(marlune INTERFACE marlune_setup)
target_include_directories(marlune INTERFACE ${CMAKE_SOURCE_DIR})

# The executable's resources: each resources/*.cmake appends its compiled
# resource scripts to SETUP_RESOURCES (and may add targets they depend on).
set(SETUP_RESOURCES "")
file(GLOB resource_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.cmake)
foreach(part ${resource_parts})
  include(${part})
endforeach()

# Setup.exe runs without a C runtime: its own entry point (base/entry.cpp)
# starts WinMain, and it links only the system DLLs' import libraries and
# libgcc (stack probes, 64-bit arithmetic), so it imports no C runtime DLL.
# The unit tests link the same library on the C runtime.
add_executable(Setup WIN32 setup/main.cpp base/entry.cpp ${SETUP_RESOURCES})
set_target_properties(Setup PROPERTIES OUTPUT_NAME Setup SUFFIX .exe)
target_compile_options(Setup PRIVATE ${PRODUCT_COMPILE_OPTIONS})
# The memory functions must not be compiled into calls to themselves.
set_source_files_properties(base/entry.cpp PROPERTIES
  COMPILE_OPTIONS "-ffreestanding;-fno-builtin;-fno-tree-loop-distribute-patterns")
target_link_libraries(Setup PRIVATE marlune gcc)
target_link_options(Setup PRIVATE ${WIN_LINK_FLAGS} -s -nostdlib -Wl,--entry,_SetupEntry
  -Wl,-Map,${CMAKE_BINARY_DIR}/Setup.map)
marlune_dated_image(Setup)
