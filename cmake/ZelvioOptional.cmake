# zelvio_optional(<option> <package> [find_package arguments...])
#
# An optional part of the build switched by a cache variable with three values: AUTO (the
# default) builds it when <package> is found and otherwise says so and leaves it out; ON requires
# <package> (a missing one is an error); OFF leaves it out. Sets <option>_ENABLED.
macro(zelvio_optional option package)
  string(TOUPPER "${${option}}" _zelvio_mode)
  if(_zelvio_mode STREQUAL "AUTO")
    find_package(${package} ${ARGN} QUIET)
    if(${package}_FOUND)
      set(${option}_ENABLED ON)
    else()
      set(${option}_ENABLED OFF)
      message(STATUS "${option}: ${package} was not found, so this part is left out "
                     "(set ${option}=ON to require it)")
    endif()
  elseif(${option})
    find_package(${package} ${ARGN} REQUIRED)
    set(${option}_ENABLED ON)
  else()
    set(${option}_ENABLED OFF)
  endif()
endmacro()

# zelvio_optional_pkg(<option> <prefix> <module>...)
#
# The same three values for a part that needs libraries found with pkg-config: AUTO uses them
# when every <module> is found (as the imported target PkgConfig::<prefix>) and otherwise says so
# and leaves the part out; ON requires them; OFF leaves the part out. Sets <option>_ENABLED.
macro(zelvio_optional_pkg option prefix)
  string(TOUPPER "${${option}}" _zelvio_mode)
  string(JOIN ", " _zelvio_modules ${ARGN})
  set(${option}_ENABLED OFF)
  if(NOT _zelvio_mode STREQUAL "OFF" AND ${option})
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
      pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${ARGN})
    endif()
    if(PkgConfig_FOUND AND ${prefix}_FOUND)
      set(${option}_ENABLED ON)
    elseif(_zelvio_mode STREQUAL "AUTO")
      message(STATUS "${option}: ${_zelvio_modules} not found with pkg-config, so this part is "
                     "left out (set ${option}=ON to require it)")
    else()
      message(FATAL_ERROR "${option} is ON but pkg-config does not find ${_zelvio_modules}")
    endif()
  endif()
endmacro()
