#!/usr/bin/env bash
# conda-build runs this in the source folder with PREFIX (where to install) and CPU_COUNT
# set; CMAKE_ARGS, when set, carries the channel's own CMake options.
set -euo pipefail

cmake -S . -B build/conda ${CMAKE_ARGS:-} \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="${PREFIX}" \
  -DCMAKE_PREFIX_PATH="${PREFIX}" \
  -DVARNOSK_BUILD_TESTS=OFF
cmake --build build/conda -j "${CPU_COUNT}"
cmake --install build/conda
