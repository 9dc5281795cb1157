# CLI11 for a cross build: the library is headers only, so the build machine's copy serves any
# target. Its own package file would put the build machine's whole include folder on the path,
# so only CLI/ is copied into the build tree and used from there as CLI11::CLI11.
find_path(ZELVIO_CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include /usr/local/include
          NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT ZELVIO_CLI11_INCLUDE_DIR)
  message(FATAL_ERROR "CLI11's headers (CLI/CLI.hpp) were not found: install libcli11-dev")
endif()
file(COPY ${ZELVIO_CLI11_INCLUDE_DIR}/CLI DESTINATION ${PROJECT_BINARY_DIR}/cli11)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${PROJECT_BINARY_DIR}/cli11)
