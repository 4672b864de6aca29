# Sources of a folder, optionally without some files (by name).
function(mirvak_sources out dir)
  file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(_ex IN LISTS ARGN)
    list(FILTER _src EXCLUDE REGEX "/${_ex}$")
  endforeach()
  set(${out} ${_src} PARENT_SCOPE)
endfunction()
