# Setup.exe's own resources (resources/setup.rc): dialog templates, pictures,
# icon and version record. The pictures and the icon are drawn at build time
# by the host tool make-art into the build tree, where windres finds them
# through -I.
set(SETUP_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(SETUP_ART
  ${SETUP_ART_DIR}/banner.bmp ${SETUP_ART_DIR}/side.bmp
  ${SETUP_ART_DIR}/finish.bmp ${SETUP_ART_DIR}/setup.ico)
add_custom_command(OUTPUT ${SETUP_ART}
  COMMAND ${HOST_BIN_DIR}/make-art ${SETUP_ART_DIR}
  DEPENDS ${HOST_BIN_DIR}/make-art
  COMMENT "Drawing the setup's bitmaps and icon")
# One target owns the drawing, so the two images that link setup.rc never run
# make-art at the same time.
add_custom_target(setup_art DEPENDS ${SETUP_ART})

set(SETUP_RC ${CMAKE_CURRENT_LIST_DIR}/setup.rc)
set_source_files_properties(${SETUP_RC} PROPERTIES
  INCLUDE_DIRECTORIES ${SETUP_ART_DIR}
  OBJECT_DEPENDS "${SETUP_ART}")  # recompile when a picture changes
list(APPEND SETUP_RESOURCES ${SETUP_RC})

# The images are defined after this file is read: order the drawing before
# them once the whole directory is known.
function(setup_art_order_targets)
  foreach(target Setup unit_tests)
    if(TARGET ${target})
      add_dependencies(${target} setup_art)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL setup_art_order_targets)
