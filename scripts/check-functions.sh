#!/usr/bin/env bash
# Checks that no function in src/ or tools/ is longer than 50 lines, as clang-tidy's
# readability-function-size counts a function's lines: from the line of its body's opening brace
# to that of the closing one, blank lines and comments included (a lambda counts in the function
# that holds it). Fails listing every longer function (file, line, name, length); passing, prints
# the longest. Each source in src/ and tools/ is parsed with the flags the build gives it (the
# compile database of build-functions/, or of $VADREL_FUNCTIONS_BUILD, configured but not built,
# but for the generated headers), and the functions of the headers it includes from those folders
# are counted with it. A source that does not parse fails the check, as its functions could not be
# counted.
# Usage: scripts/check-functions.sh [limit]   (50 by default)
set -euo pipefail
export VADREL_BUILD="${VADREL_FUNCTIONS_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build-functions}"
source "$(dirname "$0")/common.sh"
Limit=${1:-50}

vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" clang-tidy
vadrel_configure -DVADREL_TESTS=OFF -DVADREL_BENCH=OFF -DVADREL_FUZZ=OFF
# The Wayland protocols' headers are generated at build time, and the idle layer includes them.
vadrel_compile vadrel_protocols >/dev/null

cd "$VADREL_ROOT"
Out=$(mktemp -d)
trap 'rm -rf "$Out"' EXIT
mapfile -t Sources < <(find src tools -name '*.cpp' | sort)

# With a threshold of 0 every function of more than one line is reported with its length, so the
# longest is known as well as those over the limit. Each source's report goes to a file of its
# own, so that the parallel runs do not mix their lines.
Config="{CheckOptions: [{key: readability-function-size.LineThreshold, value: 0}]}"
Status=0
printf '%s\n' "${Sources[@]}" | xargs -P "$(nproc)" -I{} sh -c '
  clang-tidy -p "$1" --quiet -checks="-*,readability-function-size" -config="$2" \
    -header-filter="^$3/(src|tools)/" "$3/$4" >"$5/$(echo "$4" | tr / _).out" 2>&1 ||
    echo "$4" >>"$5/failed"' _ "$VADREL_BUILD" "$Config" "$VADREL_ROOT" {} "$Out" || Status=$?

if [ -s "$Out/failed" ] || [ $Status -ne 0 ]; then
  echo "check-functions.sh: clang-tidy could not parse these sources:" >&2
  if [ -s "$Out/failed" ]; then
    while read -r Source; do
      echo "== $Source" >&2
      grep -E "error:" "$Out/$(echo "$Source" | tr / _).out" | head -n 10 >&2 || true
    done <"$Out/failed"
  fi
  exit 1
fi

# "length file:line name", one a function (a header's function once, however many sources include
# it), longest first.
cat "$Out"/*.out |
  sed -nE "s|^$VADREL_ROOT/||
    s/^([^:]+):([0-9]+):[0-9]+: warning: function '([^']+)' exceeds recommended size.*/F \1:\2 \3/p
    s/^([^:]+):([0-9]+):[0-9]+: note: ([0-9]+) lines including whitespace.*/N \1:\2 \3/p" |
  awk '$1 == "F" { at = $2; sub(/^F [^ ]+ /, ""); name[at] = $0 }
       $1 == "N" && ($2 in name) { print $3, $2, name[$2] }' |
  sort -u | sort -k1,1nr -k2,2 >"$Out/lengths"

if [ ! -s "$Out/lengths" ]; then
  echo "check-functions.sh: clang-tidy reported no function at all in ${#Sources[@]} sources" >&2
  exit 1
fi
Longer=$(awk -v limit="$Limit" '$1 > limit' "$Out/lengths")
if [ -n "$Longer" ]; then
  echo "check-functions.sh: $(echo "$Longer" | wc -l) functions in src/ and tools/ are longer than $Limit lines:"
  echo "$Longer" | while read -r Length Where Name; do echo "  $Where: $Name, $Length lines"; done
  exit 1
fi
read -r Length Where Name <"$Out/lengths"
echo "check-functions.sh: no function in src/ or tools/ is longer than $Limit lines" \
  "($(wc -l <"$Out/lengths") functions of more than one line in ${#Sources[@]} sources);" \
  "the longest: $Name ($Where), $Length lines"
