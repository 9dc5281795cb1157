# The desktop entry as installed: cmake --install into a scratch prefix, then desktop-file-validate
# on the entry has nothing to say (no error, warning or hint), Exec hands the program a file and
# MimeType offers it for the WAVE types.
#
#   cmake -DBUILD_DIR=build -DPREFIX=scratch -DVALIDATE=/usr/bin/desktop-file-validate
#         -P tests/app/desktop_entry_test.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

set(entry "${PREFIX}/share/applications/zelvio-gui.desktop")
foreach(installed "${entry}" "${PREFIX}/bin/zelvio-gui"
                  "${PREFIX}/share/icons/hicolor/32x32/apps/zelvio-gui.png")
  if(NOT EXISTS "${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

execute_process(COMMAND "${VALIDATE}" "${entry}" RESULT_VARIABLE failed
                OUTPUT_VARIABLE said ERROR_VARIABLE complained)
if(failed OR said OR complained)
  message(FATAL_ERROR "desktop-file-validate ${entry}:\n${said}${complained}")
endif()

file(STRINGS "${entry}" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=zelvio-gui %f")
  message(FATAL_ERROR "the entry's ${exec} does not pass a file as %f")
endif()
file(READ "${entry}" content)  # (file(STRINGS) would escape the semicolons)
string(REGEX MATCH "\nMimeType=[^\n]*" types "${content}")
string(STRIP "${types}" types)
foreach(type audio/x-wav audio/wav audio/vnd.wave)
  string(FIND "${types}" "${type};" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "'${types}' lacks ${type}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "${entry}: valid, Exec=zelvio-gui %f, ${types}")
