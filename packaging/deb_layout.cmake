# Run by CPack on the package's staging tree before the package is made:
# udev on Debian reads the rules of packages from /lib/udev/rules.d, where
# `cmake --install` cannot put them for a prefix such as ~/.local.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(from "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/lib/udev/rules.d")
if(IS_DIRECTORY "${from}")
  file(MAKE_DIRECTORY "${root}/lib/udev/rules.d")
  file(GLOB rules "${from}/*")
  foreach(rule IN LISTS rules)
    get_filename_component(name "${rule}" NAME)
    file(RENAME "${rule}" "${root}/lib/udev/rules.d/${name}")
  endforeach()
  # The folders left empty go too.
  foreach(dir "${from}" "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/lib/udev" "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/lib")
    file(GLOB left "${dir}/*")
    if(left STREQUAL "")
      file(REMOVE_RECURSE "${dir}")
    endif()
  endforeach()
endif()
