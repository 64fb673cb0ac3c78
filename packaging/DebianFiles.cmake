# Run by cpack after it has installed the files into its staging folder: adds what Debian
# asks of every package (the copyright file, a compressed changelog) and compresses the
# manual pages, as Debian keeps them.

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(package_doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

# Reproducible: the date of the release is the time of the build unless SOURCE_DATE_EPOCH says.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)

file(READ "${CPACK_VARNOSK_LICENSE}" license)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n$" "" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(MAKE_DIRECTORY "${package_doc}")
file(WRITE "${package_doc}/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: varnosk\n"
     "\n"
     "Files: *\n"
     "Copyright: 2026 The Varnosk developers\n"
     "License: Expat\n"
     "\n"
     "License: Expat\n"
     " ${license}\n")

file(WRITE "${package_doc}/changelog.Debian"
     "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium\n"
     "\n"
     "  * Release ${CPACK_PACKAGE_VERSION}, packaged with CPack.\n"
     "\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")

file(GLOB pages "${root}/${CPACK_VARNOSK_MANDIR}/man1/*.1")
foreach(file IN LISTS pages ITEMS "${package_doc}/changelog.Debian")
  execute_process(COMMAND gzip -9 -n -f "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endforeach()
