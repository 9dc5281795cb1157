# The rooms of src/ and what each may use: the one table behind both dependency checks.
#
#   zelvio_check_room_links()            at configure time: every room's library links only the
#                                        rooms it may use (pdb, coding, io and resample link
#                                        nothing at all but the standard library).
#   cmake -DZELVIO_SOURCE_DIR=... -P cmake/ZelvioRooms.cmake
#                                        (a CTest test, and also run at configure time): every
#                                        #include "<room>/..." in src/<room> names a room it may
#                                        use. pdb/byte_order.h, header-only, may be included
#                                        anywhere.

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_policy(VERSION 3.25)  # as the project: IN_LIST and the like
endif()

set(ZELVIO_ROOMS io pdb coding resample wave readback job frontend cli app)
set(ZELVIO_ROOM_USES_io "")
set(ZELVIO_ROOM_USES_pdb "")
set(ZELVIO_ROOM_USES_coding "")
set(ZELVIO_ROOM_USES_resample "")
set(ZELVIO_ROOM_USES_wave "io")
set(ZELVIO_ROOM_USES_readback "pdb;coding")
set(ZELVIO_ROOM_USES_job "io;pdb;coding;resample;wave")
set(ZELVIO_ROOM_USES_frontend "io;pdb;job")
set(ZELVIO_ROOM_USES_cli "io;pdb;coding;wave;readback;job;frontend;version")
set(ZELVIO_ROOM_USES_app "job;frontend;version")
# The header any room may include without linking its room.
set(ZELVIO_SHARED_HEADERS "pdb/byte_order.h")

# Fails the configuration when a room's library links a library it may not: for the rooms
# that may use nothing, any library at all; for the others, any zelvio library outside their
# list. Only the rooms built as libraries are checked (cli and app are programs on top).
function(zelvio_check_room_links)
  foreach(room IN LISTS ZELVIO_ROOMS)
    if(NOT TARGET zelvio_${room})
      continue()
    endif()
    get_target_property(links zelvio_${room} LINK_LIBRARIES)
    get_target_property(interface zelvio_${room} INTERFACE_LINK_LIBRARIES)
    set(all)
    foreach(item IN LISTS links interface)
      if(item AND NOT item MATCHES "-NOTFOUND$")
        list(APPEND all "${item}")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES all)
    foreach(item IN LISTS all)
      set(used)
      if(item MATCHES "^zelvio(::|_)([a-z]+)$")
        set(used "${CMAKE_MATCH_2}")
      endif()
      if(item STREQUAL "Threads::Threads")
        continue()  # the system's thread library, behind std::thread
      endif()
      if(used AND (used IN_LIST ZELVIO_ROOMS OR used STREQUAL "version"))
        if(NOT used IN_LIST ZELVIO_ROOM_USES_${room})
          message(FATAL_ERROR "src/${room} links ${item}; it may use only: "
                              "'${ZELVIO_ROOM_USES_${room}}' (cmake/ZelvioRooms.cmake)")
        endif()
      elseif("${ZELVIO_ROOM_USES_${room}}" STREQUAL "")
        message(FATAL_ERROR "src/${room} links ${item}; it may link nothing but the standard "
                            "library (cmake/ZelvioRooms.cmake)")
      endif()
    endforeach()
  endforeach()
endfunction()

# Fails when a source of a room includes a header of a room it may not use.
function(zelvio_check_room_includes source_dir)
  set(problems)
  foreach(room IN LISTS ZELVIO_ROOMS)
    file(GLOB files "${source_dir}/src/${room}/*.h" "${source_dir}/src/${room}/*.cpp")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
        if(header IN_LIST ZELVIO_SHARED_HEADERS OR NOT header MATCHES "^([a-z]+)/")
          continue()
        endif()
        set(used "${CMAKE_MATCH_1}")
        if(used STREQUAL "zelvio")
          set(used version)  # the generated zelvio/version.h
        endif()
        if(NOT used STREQUAL room AND NOT used IN_LIST ZELVIO_ROOM_USES_${room})
          file(RELATIVE_PATH where "${source_dir}" "${file}")
          list(APPEND problems "${where} includes \"${header}\"")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Headers from rooms a room may not use (cmake/ZelvioRooms.cmake):\n"
                        "  ${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zelvio_check_room_includes("${ZELVIO_SOURCE_DIR}")
  message(STATUS "Every room includes only the rooms it may use.")
endif()
