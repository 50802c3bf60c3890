#!/usr/bin/env bash
# The tree's habits, checked: C++ sources as clang-format (.clang-format) writes them, and in
# every source, script, build file and manual page no trailing blanks, no CR-LF line ends, a
# final newline. Test data and fuzz corpora are exempt: their bytes are what they test.
#   tools/lint.sh        run from anywhere inside the work tree; status 1 on any finding
set -u
cd "$(git rev-parse --show-toplevel)" || exit 2
status=0

mapfile -t cxx < <(git ls-files '*.cc' '*.h')
if ! found=$(clang-format --dry-run --Werror "${cxx[@]}" 2>&1); then
  printf '%s\n' "$found" | grep 'error:' | cut -d: -f1 | sort -u | sed 's/$/: not as clang-format writes it/'
  echo "lint: clang-format -i FILE formats a file"
  status=1
fi

mapfile -t text < <(git ls-files '*.cc' '*.h' '*.sh' '*.py' '*.cmake' '*.json' 'CMakeLists.txt' \
  'man/*' '.ci/*' '.clang-format' '.editorconfig' '.gitignore' 'fuzz/*.sh')
for f in "${text[@]}"; do
  [ -f "$f" ] || continue
  if grep -nE '[[:blank:]]$' "$f" > /dev/null; then
    grep -nE '[[:blank:]]$' "$f" | head -n 3 | sed "s|^|$f:|"
    echo "lint: $f: trailing blanks"
    status=1
  fi
  if grep -q $'\r' "$f"; then
    echo "lint: $f: CR-LF line ends"
    status=1
  fi
  if [ -s "$f" ] && [ "$(tail -c 1 "$f" | od -An -tx1 | tr -d ' ')" != "0a" ]; then
    echo "lint: $f: no newline at the end"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "lint: ${#cxx[@]} C++ files formatted, ${#text[@]} files clean"
exit "$status"
