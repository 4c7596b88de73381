#!/usr/bin/env bash
# Fails, listing the files, when clang-format (with the repository's
# .clang-format) would change any of the project's C and C++ sources.
# Fix with: git ls-files '*.c' '*.h' '*.cpp' '*.hpp' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "check-format: the files above are not formatted (clang-format -i fixes them)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
