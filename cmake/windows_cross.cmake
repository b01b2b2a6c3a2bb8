# The Windows build (cross-compiled with mingw-w64, see mingw-w64-x86_64.cmake): what differs from Linux
# before any target is made.

enable_language(RC)

# The plug-in and the test programs must run on a bare Windows: the compiler's own runtime and the thread
# library are linked in, leaving only the system's DLLs to import.
add_link_options(-static -static-libgcc -static-libstdc++)

# glm is header-only, so Debian's package serves the cross build too. Its directory is exposed on its own:
# adding all of /usr/include would put the Linux C library's headers before the Windows ones.
find_path(PALETTRIX_GLM_PARENT glm/glm.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT PALETTRIX_GLM_PARENT)
  message(FATAL_ERROR "glm headers not found (Debian package libglm-dev)")
endif()
set(palettrix_glm_dir ${CMAKE_BINARY_DIR}/glm-headers)
file(MAKE_DIRECTORY ${palettrix_glm_dir})
file(CREATE_LINK ${PALETTRIX_GLM_PARENT}/glm ${palettrix_glm_dir}/glm SYMBOLIC)
add_library(glm::glm INTERFACE IMPORTED)
set_target_properties(glm::glm PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${palettrix_glm_dir})
