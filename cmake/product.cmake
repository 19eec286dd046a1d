# Setup.exe and the library of its code, which the unit tests link too.
file(GLOB PRODUCT_SOURCES CONFIGURE_DEPENDS
  setup/*.cpp wizard/*.cpp payload/*.cpp registration/*.cpp shell/*.cpp)
list(REMOVE_ITEM PRODUCT_SOURCES ${CMAKE_SOURCE_DIR}/setup/main.cpp ${CMAKE_SOURCE_DIR}/setup/entry.cpp)
add_library(marlune STATIC ${PRODUCT_SOURCES})
target_include_directories(marlune PUBLIC ${CMAKE_SOURCE_DIR})
# The product's code needs no exception handling, run-time type information
# or guarded statics: none of the C++ runtime that serves them comes along.
# It is compiled for the 80386, the least processor Windows 95 runs on: the
# compiler's default (the Pentium Pro) would use instructions such as CMOV
# that a 486 or Pentium does not have.
# Source paths that reach the code (__FILE__) are written relative to the
# sources, so the image does not depend on where they were checked out.
set(PRODUCT_COMPILE_OPTIONS -Wall -Wextra -Os -march=i386 -fno-exceptions -fno-rtti
  -fno-threadsafe-statics -fno-asynchronous-unwind-tables -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
target_compile_options(marlune PRIVATE ${PRODUCT_COMPILE_OPTIONS})
# Only the libraries the loader never takes from the program's folder; LZ32,
# WINMM, OLE32 and SETUPAPI are loaded at run time from the system folder
# (setup/system_library.h), so linking them here would be an error.
target_link_libraries(marlune PUBLIC user32 gdi32 advapi32)

# The executable's resources: each resources/*.cmake appends its compiled
# resource scripts to SETUP_RESOURCES (and may add targets they depend on).
set(SETUP_RESOURCES "")
file(GLOB resource_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.cmake)
foreach(part ${resource_parts})
  include(${part})
endforeach()

# Setup.exe runs without a C runtime: its own entry point (setup/entry.cpp)
# starts WinMain, and it links only the system DLLs' import libraries and
# libgcc (stack probes, 64-bit arithmetic), so it imports no C runtime DLL.
# The unit tests link the same library on the C runtime.
add_executable(Setup WIN32 setup/main.cpp setup/entry.cpp ${SETUP_RESOURCES})
set_target_properties(Setup PROPERTIES OUTPUT_NAME Setup SUFFIX .exe)
target_compile_options(Setup PRIVATE ${PRODUCT_COMPILE_OPTIONS})
# The memory functions must not be compiled into calls to themselves.
set_source_files_properties(setup/entry.cpp PROPERTIES
  COMPILE_OPTIONS "-ffreestanding;-fno-builtin;-fno-tree-loop-distribute-patterns")
target_link_libraries(Setup PRIVATE marlune gcc)
target_link_options(Setup PRIVATE ${WIN_LINK_FLAGS} -s -nostdlib -Wl,--entry,_SetupEntry
  -Wl,-Map,${CMAKE_BINARY_DIR}/Setup.map)
marlune_dated_image(Setup)
