#!/usr/bin/env bash
# Checks that every C++ source of the project follows the committed .clang-format; lists the
# files that do not. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "missing: clang-format (run scripts/install-deps.sh)"; exit 2; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then echo "not formatted: $f"; bad=1; fi
done
[ $bad -eq 0 ] && echo "ok: ${#files[@]} files formatted"
exit $bad
