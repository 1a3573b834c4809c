# Read by cpack before it makes each package: the Debian package's
# dependencies are computed by dpkg-shlibdeps, without which CPack would
# make a package that depends on nothing.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(dpkg_shlibdeps dpkg-shlibdeps)
  if(NOT dpkg_shlibdeps)
    message(FATAL_ERROR "The Debian package needs dpkg-shlibdeps: apt-get install dpkg-dev "
      "(or tools/install-deps test); cpack -G TGZ makes the .tar.gz without it")
  endif()
  # GeographicLib's development package, for a build with geodesic
  # distances: programs that link the library link it too.
  if(CPACK_LOCIWEAVER_RECOMMENDS_FILE AND EXISTS "${CPACK_LOCIWEAVER_RECOMMENDS_FILE}")
    file(READ "${CPACK_LOCIWEAVER_RECOMMENDS_FILE}" recommends)
    if(recommends)
      set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${recommends}")
    endif()
  endif()
endif()

# The .tar.gz: LICENSE in share/doc/lociweaver, beside the copyright.
if(CPACK_GENERATOR STREQUAL "TGZ" AND CPACK_LOCIWEAVER_LICENCE_DIR)
  set(CPACK_INSTALLED_DIRECTORIES "${CPACK_LOCIWEAVER_LICENCE_DIR};share/doc/lociweaver")
endif()
