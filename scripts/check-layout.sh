#!/usr/bin/env bash
# Usage: scripts/check-layout.sh
#
# The rooms of src/ stand in one order, from the top down (README.md, "Source layout"): a file
# may include headers of its own room and of the rooms below it, never of a room above. Prints
# every include that climbs, or that comes from a room missing from the order, and exits
# non-zero if there is one. Reads only the include lines, so it takes a moment.
#
# Every source file under src/ (*.cpp, *.h) also opens with a comment that says which thread
# runs its code. Prints every file whose opening comment block (the // lines it starts with)
# does not mention a thread, and exits non-zero if there is one.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

rooms="app ui engine wave recent convert state platform resources"

climbs="$(cd "$repo" && grep -rnE --include='*.cpp' --include='*.h' '^#include "[a-z_]+/' src |
  awk -v rooms="$rooms" '
    BEGIN {
      n = split(rooms, r, " ")
      for (i = 1; i <= n; i++) rank[r[i]] = i
    }
    {
      file = substr($0, 1, index($0, ":") - 1)
      split(file, f, "/")
      from = f[2]
      match($0, /#include "[^"]*"/)
      target = substr($0, RSTART + 10, RLENGTH - 11)
      to = substr(target, 1, index(target, "/") - 1)
      if (!(from in rank)) print $0 "    <- src/" from "/ is not in the order of rooms"
      else if (!(to in rank)) print $0 "    <- src/" to "/ is not in the order of rooms"
      else if (rank[to] < rank[from])
        print $0 "    <- " from "/ is below " to "/"
    }')"

unthreaded="$(cd "$repo" && find src -type f \( -name '*.cpp' -o -name '*.h' \) | sort |
  xargs awk '
    FNR == 1 {
      if (NR > 1 && !found) print file "    <- its opening comment names no thread"
      file = FILENAME
      found = 0
      opening = 1
    }
    opening && !/^\/\// { opening = 0 }
    opening && tolower($0) ~ /thread/ { found = 1 }
    END { if (NR > 0 && !found) print file "    <- its opening comment names no thread" }')"

status=0
if [ -n "$climbs" ]; then
  echo "$climbs"
  echo "layout: includes climbing to a higher room (order from the top: $rooms)"
  status=1
else
  echo "layout: no include climbs (order from the top: $rooms)"
fi
if [ -n "$unthreaded" ]; then
  echo "$unthreaded"
  echo "layout: source files that do not open by saying which thread runs them"
  status=1
else
  echo "layout: every source file opens by saying which thread runs it"
fi
exit "$status"
