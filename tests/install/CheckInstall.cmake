# Installs the build BUILD into PREFIX (emptied first) and checks that every
# file a user or the package needs is there, and that nothing of the build
# tree is. Run by CTest: cmake -DBUILD=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install ${BUILD} failed")
endif()

set(expected
  bin/tessaly
  bin/tessaly-stamp
  bin/tessaly-exif
  share/applications/org.tessaly.orvanel.desktop
  share/metainfo/org.tessaly.orvanel.metainfo.xml
  share/icons/hicolor/scalable/apps/org.tessaly.orvanel.svg
  share/icons/hicolor/48x48/apps/org.tessaly.orvanel.png
  share/man/man1/tessaly.1.gz
  share/man/man1/tessaly-stamp.1.gz
  share/man/man1/tessaly-exif.1.gz
  share/doc/tessaly/copyright
  share/doc/tessaly/changelog.Debian.gz)
set(missing)
foreach(path ${expected})
  if(NOT EXISTS "${PREFIX}/${path}")
    list(APPEND missing ${path})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "Not installed: ${missing}")
endif()

# The translation is a resource of the window, not a file beside it.
file(GLOB_RECURSE qm_files "${PREFIX}/*.qm")
if(qm_files)
  message(FATAL_ERROR "Translation files installed: ${qm_files}")
endif()

# The copyright in the machine-readable format, every licence it names given.
file(READ "${PREFIX}/share/doc/tessaly/copyright" copyright)
if(NOT copyright MATCHES "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")
  message(FATAL_ERROR "copyright: not in the machine-readable format")
endif()
string(REGEX MATCHALL "\nLicense: [^\n]+" licences "${copyright}")
foreach(licence ${licences})
  string(REGEX REPLACE "\nLicense: " "" name "${licence}")
  string(REGEX MATCHALL "\nLicense: ${name}\n [^\n]" body "${copyright}")
  if(NOT body)
    message(FATAL_ERROR "copyright: no text for the licence ${name}")
  endif()
endforeach()
