# The git commit the build comes from, for the version texts (zelvio/version.h):
# ZELVIO_GIT_REVISION is HEAD's abbreviated hash when the source folder is the top of a git
# checkout (or worktree) and git is found, and empty otherwise (a source archive). CMake watches
# HEAD and its log, so a commit or checkout configures the build again and the value stays current.
set(ZELVIO_GIT_REVISION "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel --short HEAD
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE answer ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT failed)
    string(REPLACE "\n" ";" answer "${answer}")
    list(GET answer 0 top)
    list(GET answer 1 revision)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${PROJECT_SOURCE_DIR}" source)
    if(top STREQUAL source)  # not the checkout of some folder around the sources
      set(ZELVIO_GIT_REVISION "${revision}")
      foreach(watched HEAD logs/HEAD)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --path-format=absolute
                                --git-path ${watched}
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE file ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(file AND EXISTS "${file}")
          set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                                                         "${file}")
        endif()
      endforeach()
    endif()
  endif()
endif()
if(ZELVIO_GIT_REVISION)
  set(ZELVIO_VERSION_TEXT "${PROJECT_VERSION} (git ${ZELVIO_GIT_REVISION})")
else()
  set(ZELVIO_VERSION_TEXT "${PROJECT_VERSION}")
endif()
