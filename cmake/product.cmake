# Setup.exe and the library of its code, which the unit tests link too.
file(GLOB PRODUCT_SOURCES CONFIGURE_DEPENDS
  setup/*.cpp wizard/*.cpp payload/*.cpp registration/*.cpp shell/*.cpp)
list(REMOVE_ITEM PRODUCT_SOURCES ${CMAKE_SOURCE_DIR}/setup/main.cpp)
add_library(marlune STATIC ${PRODUCT_SOURCES})
target_include_directories(marlune PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(marlune PRIVATE -Wall -Wextra -Os)
target_link_libraries(marlune PUBLIC user32 gdi32 advapi32 lz32 winmm ole32 shell32 uuid)

# The executable's resources: each resources/*.cmake appends its compiled
# resource scripts to SETUP_RESOURCES (and may add targets they depend on).
set(SETUP_RESOURCES "")
file(GLOB resource_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.cmake)
foreach(part ${resource_parts})
  include(${part})
endforeach()

add_executable(Setup WIN32 setup/main.cpp ${SETUP_RESOURCES})
set_target_properties(Setup PROPERTIES OUTPUT_NAME Setup SUFFIX .exe)
target_link_libraries(Setup PRIVATE marlune)
target_link_options(Setup PRIVATE ${WIN_LINK_FLAGS} -s)
