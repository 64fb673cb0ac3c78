#!/usr/bin/env bash
# Runs the conda recipe as conda-build would, without conda (which these machines cannot
# reach): recipe/build.sh with PREFIX set to a temporary folder and CPU_COUNT=2, then the
# recipe's test commands against that prefix, in a temporary folder of their own.
set -euo pipefail
cd "$(dirname "$0")/.."

project_version=$(sed -n 's/^project(Varnosk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
recipe_version=$(sed -n 's/^{% set version = "\(.*\)" %}$/\1/p' recipe/meta.yaml)
if [ "$recipe_version" != "$project_version" ]; then
  echo "recipe/meta.yaml says version $recipe_version, CMakeLists.txt $project_version" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PREFIX="$work/prefix" CPU_COUNT=2
# A fresh build, as conda-build's own work folder would be.
rm -rf build/conda
bash recipe/build.sh >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }

outside=$(grep -v "^$PREFIX/" build/conda/install_manifest.txt || true)
if [ -n "$outside" ]; then
  echo "recipe/build.sh installed outside PREFIX: $outside" >&2
  exit 1
fi
echo "recipe/build.sh installed $(grep -c "" build/conda/install_manifest.txt) files under PREFIX"

# The recipe's test commands: the items of test: commands:.
mapfile -t commands < <(awk '/^test:/ { in_test = 1; next } /^[^ ]/ { in_test = 0 }
  in_test && /^  commands:/ { in_commands = 1; next } in_test && /^  [^ ]/ { in_commands = 0 }
  in_test && in_commands && /^    - / { sub(/^    - /, ""); print }' recipe/meta.yaml)
if [ ${#commands[@]} -eq 0 ]; then
  echo "recipe/meta.yaml has no test commands" >&2
  exit 1
fi
mkdir "$work/test"
for command in "${commands[@]}"; do
  (cd "$work/test" && PATH="$PREFIX/bin:$PATH" bash -euo pipefail -c "$command") || {
    echo "the recipe's test command failed: $command" >&2
    exit 1
  }
  echo "recipe test: $command"
done
