# Payload tests: where the unit tests find the carried files, a few edge
# inputs for Wine's LZ expansion, the stand-in images' headers, and the
# release stamp in two time zones.
set(PAYLOAD_EDGE_DIR ${CMAKE_BINARY_DIR}/payload-edge)
target_compile_definitions(unit_tests PRIVATE
  MARLUNE_PAYLOAD_DIR="Z:${PAYLOAD_DIR}/" MARLUNE_PAYLOAD_EDGE_DIR="Z:${PAYLOAD_EDGE_DIR}/"
  MARLUNE_STANDIN_DIR="Z:${STANDIN_DIR}/")

# Edge inputs: nothing, one byte, a run of the ring's initial spaces, a
# two-byte pattern (overlapping copies) and a text almost twice the ring's
# size (the ring's positions wrap).
string(REPEAT " " 5000 payload_edge_spaces)
string(REPEAT "ab" 3000 payload_edge_pairs)
set(payload_edge_ring-wrap "")
foreach(i RANGE 0 299)
  string(APPEND payload_edge_ring-wrap "line ${i} of the ring test\n")
endforeach()
set(payload_edge_empty "")
set(payload_edge_one-byte "x")
set(payload_edge_containers "")
foreach(edge empty one-byte spaces pairs ring-wrap)
  file(CONFIGURE OUTPUT ${PAYLOAD_EDGE_DIR}/${edge} CONTENT "${payload_edge_${edge}}")
  add_custom_command(
    OUTPUT ${PAYLOAD_EDGE_DIR}/${edge}.szdd
    COMMAND ${SZDD_COMPRESS} ${PAYLOAD_EDGE_DIR}/${edge} ${PAYLOAD_EDGE_DIR}/${edge}.szdd
    DEPENDS ${PAYLOAD_EDGE_DIR}/${edge} ${SZDD_COMPRESS})
  list(APPEND payload_edge_containers ${PAYLOAD_EDGE_DIR}/${edge}.szdd)
endforeach()
add_custom_target(payload_edge_inputs DEPENDS ${payload_edge_containers})
add_dependencies(unit_tests payload_edge_inputs)

# The stand-in programs and libraries: PE 4.0, importing only system DLLs.
add_test(NAME payload_images COMMAND bash -c
  "for f in \"$@\"; do ${CMAKE_SOURCE_DIR}/tests/check_image.sh \"$f\" || exit 1; done" images
  $<TARGET_FILE:payload_mixer> $<TARGET_FILE:payload_register> $<TARGET_FILE:payload_rmvesk>
  $<TARGET_FILE:payload_vesk_dll> $<TARGET_FILE:payload_veskasio>)

# The stamp is local time: in UTC it is stored as 01:20:00.024, one hour
# ahead of UTC as 00:20:00.024 (Wine takes the zone from TZ).
foreach(zone "UTC|win98" "Etc/GMT-1|winxp")
  string(REPLACE "|" ";" zone "${zone}")
  list(GET zone 0 tz)
  list(GET zone 1 version)
  string(REGEX REPLACE "[^A-Za-z0-9]" "_" name "unit_payload_stamp_${tz}_${version}")
  add_test(NAME ${name} COMMAND unit_tests --gtest_filter=PayloadAllPlatforms.*)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "MARLUNE_WINVER=${version};TZ=${tz}" RESOURCE_LOCK unit_prefix TIMEOUT 300)
endforeach()
