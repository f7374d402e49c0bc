# Removes what the last `cmake --install` of this build directory put in
# place, as listed in MANIFEST:  cmake -DMANIFEST=... -P uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} does not exist")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
  if(EXISTS "${f}" OR IS_SYMLINK "${f}")
    message(STATUS "Removing ${f}")
    file(REMOVE "${f}")
  endif()
endforeach()
file(REMOVE "${MANIFEST}")
