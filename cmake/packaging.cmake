# The packages users install, made by CPack from the install rules:
#   Linux:   a Debian package (its dependencies computed by dpkg-shlibdeps,
#            of package dpkg-dev) and a .tar.gz of the same tree;
#   Windows: a .zip of the statically linked programs, the guide and the
#            example (from the cross build of cmake/mingw-w64-x86_64.cmake).
# From a build directory: cpack (or cpack -G DEB, -G TGZ, -G ZIP).
# The version is the project's (project() in the top CMakeLists.txt).

set(LOCIWEAVER_PACKAGE_MAINTAINER
    "Lociweaver developers <maintainers@users.noreply.c-seed-c6d75579.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME lociweaver)
set(CPACK_PACKAGE_VENDOR "The Lociweaver developers")
set(CPACK_PACKAGE_CONTACT "${LOCIWEAVER_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "spatial variables (PCNM, polynomials) of sampling sites for ecology")
set(CPACK_PACKAGE_DESCRIPTION
"Lociweaver builds spatial explanatory variables for a set of sampling
sites, for use in a later regression or canonical analysis (for instance
with Canoco): PCNM variables, the principal coordinates with positive
eigenvalues of a truncated matrix of Euclidean distances among the sites,
or the monomials of a polynomial of order 2 to 5 of the site coordinates.
The sites come from a transect, a regular grid or a coordinates file that
may add supplementary sites. One run is one dialogue on the console, which
an answers file can drive; the output is one line per site, folded lines
or a Canoco input file in FREE format.
.
The package holds lociweaver (up to 500 sites), lociweaver1000 (up to
1000 sites), lociweaver-large (as many sites as the machine's memory
holds), lociweaver-threshold (the truncation limit that keeps every site
connected), lociweaver-maps (the Moran's I of every variable and a picture
of the sites and the variables), lociweaver-vars (a whole run from the
command line, from a coordinates file or a CSV table of sites), their
manual pages, the user guide and examples, and the computation as a C
library for other programs (header, static library, pkg-config file).")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build" "/example-run/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
# Read by cpack for each package it makes.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-checks.cmake)

# The Debian package: /usr, dependencies computed from the binaries.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LOCIWEAVER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# lociweaver_gzip(<file> <var>): sets var to a copy of file compressed as
# Debian wants (gzip -9n: best compression, no name or time stamp), made in
# the build, or to file itself where gzip is missing.
find_program(LOCIWEAVER_GZIP gzip)
function(lociweaver_gzip file var)
  if(NOT LOCIWEAVER_GZIP)
    set(${var} ${file} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${file} NAME)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/gzipped)
  add_custom_command(OUTPUT ${dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${dir}/${name}
    COMMAND ${LOCIWEAVER_GZIP} -9nf ${dir}/${name}
    DEPENDS ${file})
  add_custom_target(gzip_${name} ALL DEPENDS ${dir}/${name}.gz)
  set(${var} ${dir}/${name}.gz PARENT_SCOPE)
endfunction()

# The changelog and copyright that every Debian package carries in its
# documentation directory (the .tar.gz has them too); the copyright names
# the MIT licence of LICENSE in Debian's machine-readable format.  The changelog is dated
# from SOURCE_DATE_EPOCH when set, so that a rebuild can give the same file.
if(NOT WIN32)
  set(debian_dir ${PROJECT_BINARY_DIR}/debian)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  else()
    string(TIMESTAMP changelog_date "%a, %d %b %Y 00:00:00 +0000" UTC)
  endif()
  file(WRITE ${debian_dir}/changelog.Debian
"lociweaver (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium

  * Lociweaver ${PROJECT_VERSION}, packaged by CPack from the project's build.

 -- ${LOCIWEAVER_PACKAGE_MAINTAINER}  ${changelog_date}
")
  lociweaver_gzip(${debian_dir}/changelog.Debian changelog)
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The .tar.gz also carries LICENSE beside the copyright (cpack-checks.cmake
  # adds it to that package alone: in a Debian package the copyright file
  # holds the licence, and a second licence file is out of place).
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/licence/LICENSE COPYONLY)
  set(CPACK_LOCIWEAVER_LICENCE_DIR ${PROJECT_BINARY_DIR}/licence)
  # What the Debian package recommends, written by src/CMakeLists.txt.
  set(CPACK_LOCIWEAVER_RECOMMENDS_FILE ${debian_dir}/recommends)
else()
  # The Windows .zip: LICENSE at its top, beside the programs and the guide.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
