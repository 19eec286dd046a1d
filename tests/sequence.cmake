# Test programs for the setup sequence and the end-to-end scenarios.
add_executable(companion WIN32 tests/robot/companion.cpp)
target_link_options(companion PRIVATE -static)
add_dependencies(unit_tests companion)
target_compile_definitions(unit_tests PRIVATE COMPANION_EXE="$<TARGET_FILE:companion>")

add_executable(robot tests/robot/robot.cpp)
target_link_libraries(robot PRIVATE ole32 uuid gdi32)
target_link_options(robot PRIVATE -static -static-libgcc -static-libstdc++)
# The robot's hook, loaded only into the programs the robot runs: no C runtime.
add_library(robot_hook SHARED tests/robot/hook.cpp)
set_target_properties(robot_hook PROPERTIES PREFIX "" OUTPUT_NAME robot-hook)
target_link_options(robot_hook PRIVATE -nostdlib -Wl,--kill-at)
# A library that tells when it is loaded, planted beside Setup.exe under the
# names of the system libraries it loads.
add_library(planted_library SHARED tests/scenarios/planted.cpp)
set_target_properties(planted_library PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_link_options(planted_library PRIVATE -nostdlib -Wl,--kill-at)
target_link_libraries(planted_library PRIVATE kernel32)

# Test builds of Setup.exe: the product's code unchanged, started by a WinMain
# of the tests' that installs the platform rules of the version it sees.
function(setup_test_build target output source)
  add_executable(${target} WIN32 ${source} tests/support/platform_rules.cpp tests/support/import_slots.cpp
    ${SETUP_RESOURCES})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output})
  target_link_libraries(${target} PRIVATE marlune)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(${target} payload setup_art)
endfunction()
# For the scenarios of Windows 95/98 and NT 4.
setup_test_build(setup_rules Setup-rules tests/support/rules_setup.cpp)
# With a counter of every change it makes to the machine, which can end it
# before any one of them: the cut-off sweep's.
setup_test_build(setup_sweep Setup-sweep tests/support/sweep_setup.cpp)

# End-to-end scenarios, each in a scratch prefix of its own. A COST (about
# the seconds an entry takes) orders a build tree's first ctest run, which
# knows no times yet: the longest entries start first, so that the run does
# not end on one long entry alone.
set(SCENARIOS robot xp_fresh nt4_fresh 95_fresh 98_fresh w2k_fresh w2k_now2k xp_upgrade 98_upgrade xp_cancel
  xp_copy_failure xp_second_copy)
foreach(scenario ${SCENARIOS})
  add_test(NAME scenario_${scenario}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/scenarios/run.sh ${WINE_BENCH_DIR} ${CMAKE_BINARY_DIR} ${scenario})
  set_tests_properties(scenario_${scenario} PROPERTIES TIMEOUT 240 RESOURCE_LOCK scenario_${scenario} COST 20)
endforeach()

# The cut-off sweep: Setup ended before a change, then run again, at the
# points it chooses by what they prove (tools/sweep.sh sweeps every change,
# of the idle upgrades too, which the in-use ones cover here: their only
# other change, the driver replaced like any other file, is a kind swept).
foreach(sweep xp_fresh xp_upgrade xp_upgrade_queued 98_fresh 98_upgrade)
  add_test(NAME sweep_${sweep}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/scenarios/sweep.sh ${WINE_BENCH_DIR} ${CMAKE_BINARY_DIR} ${sweep})
  # ctest runs as many entries as there are processors: one point at a time
  # in each sweep keeps one Wine program per processor.
  set_tests_properties(sweep_${sweep} PROPERTIES TIMEOUT 400 RESOURCE_LOCK sweep_${sweep} COST 100
    ENVIRONMENT MARLUNE_SWEEP_JOBS=1)
endforeach()
set_tests_properties(sweep_xp_upgrade_queued PROPERTIES COST 120)
