# The resource tests read the version record through the version library.
target_link_libraries(unit_tests PRIVATE version)
