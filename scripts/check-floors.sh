#!/usr/bin/env bash
# Checks that the bridge's folders include one way only: every
# #include "folder/..." in a .h or .cpp of a floor folder names its own
# folder or one on a floor below. Folders on one floor are siblings and may
# not include each other (what they share moves down). Tests, fuzz targets
# and benchmarks stand outside the floors. Prints each file and include that
# breaks the order and exits non-zero when there is one.
#   bash scripts/check-floors.sh [ROOT]
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# The floors, bottom up; siblings on one floor are joined by '|'.
floors="platform payload tools http phones report|actions server"

folders=$(echo "$floors" | tr ' |' '\n\n')
files=$(for folder in $folders; do [ -d "$folder" ] && find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \); done | sort)
[ -n "$files" ] || { echo "check-floors: no sources under $PWD" >&2; exit 2; }

# shellcheck disable=SC2086
awk -v floors="$floors" '
  BEGIN {
    n = split(floors, floor, " ")
    for (i = 1; i <= n; ++i) {
      m = split(floor[i], sibling, "|")
      for (j = 1; j <= m; ++j) rank[sibling[j]] = i
    }
    bad = 0
  }
  /^[ \t]*#[ \t]*include[ \t]*"/ {
    included = $0
    sub(/^[^"]*"/, "", included)
    sub(/".*$/, "", included)
    if (index(included, "/") == 0) next  # a file beside it, or a system header
    to = substr(included, 1, index(included, "/") - 1)
    from = substr(FILENAME, 1, index(FILENAME, "/") - 1)
    if (to == from) next
    if (!(to in rank)) {
      why = "a folder outside the floors"
    } else if (rank[to] > rank[from]) {
      why = "a floor above " from "/"
    } else if (rank[to] == rank[from]) {
      why = "a sibling of " from "/"
    } else {
      next
    }
    printf "%s:%d: includes \"%s\", %s\n", FILENAME, FNR, included, why
    bad = 1
  }
  END {
    if (bad) {
      printf "floors, bottom up: %s\n", floors
      exit 1
    }
  }
' $files
echo "floors hold: $floors"
