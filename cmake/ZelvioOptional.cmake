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
