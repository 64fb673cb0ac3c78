# The Debian package (cpack -G DEB in a build folder): its name, version and description, its
# dependencies found by dpkg-shlibdeps from the libraries the programs link, and the files
# Debian asks of every package (packaging/DebianFiles.cmake). The MPI build is a package of
# its own, varnosk-mpi, which replaces the other: both install bin/varnosk.

if(VARNOSK_MPI)
  set(CPACK_PACKAGE_NAME varnosk-mpi)
  set(CPACK_DEBIAN_PACKAGE_CONFLICTS varnosk)
  set(CPACK_DEBIAN_PACKAGE_REPLACES varnosk)
  # the libraries come from shlibdeps; mpirun, to start the ranks, from here
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS openmpi-bin)
  set(varnosk_package_variant "\n\nThis build runs one job over the ranks of an MPI job (Open MPI).")
else()
  set(CPACK_PACKAGE_NAME varnosk)
  set(varnosk_package_variant "")
endif()
if(VARNOSK_ARCH STREQUAL "x86-64-v2")
  set(varnosk_package_processors
      "\n\nIt needs an x86-64-v2 processor (with POPCNT and SSE4.2): every x86-64\nprocessor made since about 2009.")
elseif(VARNOSK_ARCH)
  set(varnosk_package_processors "\n\nIt needs a processor that runs -march=${VARNOSK_ARCH} code.")
else()
  set(varnosk_package_processors "")
endif()

set(CPACK_PACKAGE_VENDOR "The Varnosk developers")
# No contact address yet: the maintainer is the project.
set(CPACK_PACKAGE_CONTACT "The Varnosk developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "metagenomic species pan-genomes from gene count matrices")
# CPack puts the summary first and indents these lines, a blank one becoming " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Varnosk reads a gene count matrix (one gene per line, one count per sample),
finds the genes whose abundances rise and fall together across samples, and
groups them into metagenomic species pan-genomes (MSPs) of core, accessory and
shared genes. It writes the MSPs, their abundance in every sample, a summary,
optional species names from gene lineages, and a self-contained HTML report.
It also profiles new samples against an existing MSP set.${varnosk_package_variant}${varnosk_package_processors}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/DebianFiles.cmake")
# Read by DebianFiles.cmake when cpack runs.
set(CPACK_VARNOSK_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_VARNOSK_DOCDIR "${CMAKE_INSTALL_DOCDIR}")
set(CPACK_VARNOSK_MANDIR "${CMAKE_INSTALL_MANDIR}")
include(CPack)
