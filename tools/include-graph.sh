#!/usr/bin/env bash
# Prints the folder-to-folder graph of the product code's #include "..."
# lines with their counts, and checks that it is layered: a file includes
# only its own layer or lower ones. Layers, lowest first:
#   gfx < runtime < input < display < api < app
# (a folder's subfolders, such as display/x11/, belong to it). Exits 1 naming
# each include of a higher layer. Usage: tools/include-graph.sh [source dir]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
layers=(gfx runtime input display api app)
folders=()
for f in "${layers[@]}"; do [[ -d $f ]] && folders+=("$f"); done
grep -rnE --include='*.h' --include='*.cpp' --include='*.c' \
  '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${folders[@]}" |
awk -v order="${layers[*]}" '
  BEGIN { n = split(order, layer, " "); for (i = 1; i <= n; ++i) rank[layer[i]] = i }
  {
    split($0, part, ":"); file = part[1]
    match($0, /"[^"]+"/); name = substr($0, RSTART + 1, RLENGTH - 2)
    from = substr(file, 1, index(file, "/") - 1)
    # A name without a folder is the including folder'\''s own (or generated).
    to = index(name, "/") ? substr(name, 1, index(name, "/") - 1) : from
    if (!(to in rank)) next  # not product code (the public headers, say)
    ++count[from, to]
    if (rank[to] > rank[from])
      bad = bad sprintf("%s:%s: includes \"%s\": %s is above %s\n", file, part[2], name, to, from)
  }
  END {
    for (i = 1; i <= n; ++i)
      for (j = 1; j <= n; ++j)
        if ((layer[i], layer[j]) in count) printf "%-8s -> %-8s %4d\n", layer[i], layer[j], count[layer[i], layer[j]]
    if (bad != "") { printf "\nincludes of a higher layer:\n%s", bad; exit 1 }
    print "\nlayered: every include goes to the same or a lower layer"
  }'
