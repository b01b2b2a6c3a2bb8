# The layers of src/ and what each may build on. A library's own headers, and those of the layers listed,
# are all it may include; the build checks every file of its folder before the library is built.
function(palettrix_layer target folder)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${folder}.layer-checked)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/src/${folder}/*.inc)
  string(REPLACE ";" "\\;" may_use "${ARGN}")
  add_custom_command(OUTPUT ${stamp}
                     COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DFOLDER=${folder}
                             "-DMAY_USE=${may_use}" -DSTAMP=${stamp} -P ${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake
                     DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake
                     COMMENT "Checking what src/${folder} builds on")
  add_custom_target(${target}_layer DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layer)
endfunction()
