# Run last by `cmake --install`: keeps the list of installed files for
# `make uninstall` in STORLOOK_MANIFEST. CPack installs into a staging tree of
# its own; that install is not recorded, so it cannot replace the list.
set(staged "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(NOT staged MATCHES "/_CPack_Packages/")
  set(files "")
  foreach(f IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    string(APPEND files "$ENV{DESTDIR}${f}\n")
  endforeach()
  foreach(d IN LISTS STORLOOK_NEW_DIRS)  # folders end in a slash
    string(APPEND files "${d}/\n")
  endforeach()
  file(WRITE "${STORLOOK_MANIFEST}" "${files}")
endif()
