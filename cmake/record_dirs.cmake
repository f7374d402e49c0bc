# Run first by `cmake --install`: notes which folders the install is to put
# files in (STORLOOK_DIRS) do not exist yet, and which of their parents, so
# that record_install.cmake lists them and uninstall takes them away again
# once they are empty.
set(STORLOOK_NEW_DIRS "")
foreach(d IN LISTS STORLOOK_DIRS)
  if(NOT IS_ABSOLUTE "${d}")
    set(d "${CMAKE_INSTALL_PREFIX}/${d}")
  endif()
  set(d "$ENV{DESTDIR}${d}")
  while(NOT EXISTS "${d}")
    list(FIND STORLOOK_NEW_DIRS "${d}" seen)
    if(NOT seen EQUAL -1)
      break()
    endif()
    list(APPEND STORLOOK_NEW_DIRS "${d}")
    get_filename_component(d "${d}" DIRECTORY)
  endwhile()
endforeach()
