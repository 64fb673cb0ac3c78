# Installs the example's settings file beside the installed example matrix: the same settings
# as examples/settings.ini, with the matrix named by its installed path and the output
# directory relative to where varnosk is run. Runs at install time, when the prefix is known
# (cmake --install --prefix, or /usr for the Debian package).
# Expects VARNOSK_EXAMPLE_SETTINGS (the source file), VARNOSK_EXAMPLES_DIR (the installed
# examples folder, relative to the prefix) and VARNOSK_STAGING_DIR (a folder of the build).

set(examples_dir "${CMAKE_INSTALL_PREFIX}/${VARNOSK_EXAMPLES_DIR}")
file(READ "${VARNOSK_EXAMPLE_SETTINGS}" settings)
# The source file's opening comment speaks of the repository; the installed one of itself.
string(REGEX REPLACE "^(#[^\n]*\n)+" "" settings "${settings}")
string(REGEX REPLACE "\ncount_matrix_file = [^\n]*" "\ncount_matrix_file = ${examples_dir}/matrix.tsv" settings
       "${settings}")
string(REGEX REPLACE "\noutput_dir = [^\n]*" "\noutput_dir = varnosk-example" settings "${settings}")
set(header
    "# The bundled example: 3,000 genes x 40 samples with twelve planted species.\n"
    "# Run it from a folder of your own, where varnosk writes its tables:\n"
    "#   mkdir varnosk-example && varnosk ${examples_dir}/settings.ini\n"
    "# output_dir (below) is relative to that folder and must exist and be empty. For your own\n"
    "# data, copy this file and change count_matrix_file and output_dir. To name the species\n"
    "# from the example's made-up gene lineages, add:\n"
    "#   [taxonomy]\n"
    "#   gene_lineages_file = ${examples_dir}/gene_lineages.tsv\n")
string(JOIN "" settings ${header} "${settings}")
file(MAKE_DIRECTORY "${VARNOSK_STAGING_DIR}")
file(WRITE "${VARNOSK_STAGING_DIR}/settings.ini" "${settings}")
file(INSTALL DESTINATION "${examples_dir}" TYPE FILE PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     FILES "${VARNOSK_STAGING_DIR}/settings.ini")
