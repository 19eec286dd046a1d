# Windows-side tests: GoogleTest cross-built and run under Wine through the
# bench wrapper (CMAKE_CROSSCOMPILING_EMULATOR), plus checks of the built image.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(test_support STATIC
  tests/support/handle_ledger.cpp
  tests/support/import_hook.cpp
  tests/support/import_slots.cpp
  tests/support/platform_rules.cpp
  tests/support/test_main.cpp)
# The tests call LZ32, WINMM and OLE32 themselves (the product reaches them
# at run time).
target_link_libraries(test_support PUBLIC marlune gtest lz32 winmm ole32 uuid)

# Unit tests link Setup.exe's resources too: the code under test finds its
# dialog templates, bitmaps and payload in its own module.
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/*_test.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES} ${SETUP_RESOURCES})
target_link_libraries(unit_tests PRIVATE test_support)
target_link_options(unit_tests PRIVATE -static -static-libgcc -static-libstdc++
  -Wl,-T,${CMAKE_SOURCE_DIR}/tests/support/product_section.ld)
set_property(TARGET unit_tests APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/product_section.ld)

# Suites named ...AllPlatforms run under each platform version; suites named
# ...Win98, ...Nt40 or ...Win2k only under that version; every other suite
# under the bench's default, Windows XP.
# Windows 95 runs the Windows 9x suites (...Win98) too.
set(xp_filter "-*Win98.*:*Nt40.*:*Win2k.*:*CodePage932.*")
foreach(version winxp win95 win98 nt40 win2k)
  if(version STREQUAL winxp)
    set(filter "${xp_filter}")
  elseif(version STREQUAL win95)
    set(filter "*Win98.*:*AllPlatforms.*")
  else()
    string(REPLACE "win98" "Win98" suffix ${version})
    string(REPLACE "nt40" "Nt40" suffix ${suffix})
    string(REPLACE "win2k" "Win2k" suffix ${suffix})
    set(filter "*${suffix}.*:*AllPlatforms.*")
  endif()
  add_test(NAME unit_${version} COMMAND unit_tests --gtest_filter=${filter})
  set_tests_properties(unit_${version} PROPERTIES
    ENVIRONMENT "MARLUNE_WINVER=${version}"
    RESOURCE_LOCK unit_prefix
    TIMEOUT 300)
endforeach()

add_test(NAME setup_image COMMAND ${CMAKE_SOURCE_DIR}/tests/check_image.sh $<TARGET_FILE:Setup>)

add_test(NAME unit_codepage932 COMMAND unit_tests --gtest_filter=*CodePage932.*)
set_tests_properties(unit_codepage932 PROPERTIES
  ENVIRONMENT "LC_ALL=ja_JP.UTF-8" RESOURCE_LOCK unit_prefix TIMEOUT 120)

# Further Windows-side test programs and checks, one file per area.
file(GLOB test_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cmake)
list(REMOVE_ITEM test_parts ${CMAKE_SOURCE_DIR}/tests/tests.cmake)
foreach(part ${test_parts})
  include(${part})
endforeach()

# Every GoogleTest run must print its summary, without a crash (Wine may end a
# crashed process with status 0), a time-out or a status but 0 (wine-run's).
get_property(gtest_entries DIRECTORY PROPERTY TESTS)
list(FILTER gtest_entries INCLUDE REGEX "^unit_")
set_tests_properties(${gtest_entries} PROPERTIES TIMEOUT 300 COST 30
  PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]" FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|wine-run: |wine: Unhandled")
# The unit entries share one prefix, one at a time: they start before the
# scenarios, so that the last of them does not run alone at the end.
set_tests_properties(unit_winxp PROPERTIES COST 80)
