# A stand-in installable driver for the driver-slot tests, built here so that
# they do not depend on the carried driver. The tests copy it into the Wine
# system directory as Vesk.Dll; they find it by this build's path.
add_library(test_vesk_driver SHARED tests/test_driver.cpp)
set_target_properties(test_vesk_driver PROPERTIES PREFIX "" OUTPUT_NAME test_vesk_driver)
target_link_options(test_vesk_driver PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
add_dependencies(unit_tests test_vesk_driver)
target_compile_definitions(unit_tests PRIVATE
  TEST_DRIVER_PATH="$<TARGET_FILE:test_vesk_driver>")
