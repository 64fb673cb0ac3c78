#!/usr/bin/env bash
# Fails, listing the files, when a C++ source of the project is not laid out as .clang-format
# says. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- 'src/*.[ch]pp' 'tests/*.[ch]pp' 'bench/*.[ch]pp' 'tools/*.[ch]pp' 'fuzz/*.[ch]pp' 2>/dev/null ||
                     find src tests bench tools fuzz -name '*.[ch]pp')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (fix with: bash scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
