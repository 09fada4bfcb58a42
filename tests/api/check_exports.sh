#!/usr/bin/env bash
# Every symbol the library defines for others is its own (qz_..., the qz
# namespace) or an instantiation of the standard library's templates: a
# user's own last_error() or Image can never meet one of ours. Type
# information of plain function types (a std::function's target) names none. (What the
# compiler adds by itself, for unwinding or a sanitizer, is left out.)
# Usage: check_exports.sh LIBRARY
set -euo pipefail
lib=$1
nm_args=(-C --defined-only --extern-only)
nm_tool=nm
# Archives of link-time-optimised objects need the compiler's nm; a shared
# library is judged by what it exports.
if command -v gcc-nm >/dev/null && [[ $lib == *.a ]]; then nm_tool=gcc-nm; fi
if [[ $lib == *.so* ]]; then nm_args=(-C -D --defined-only); fi
symbols=$("$nm_tool" "${nm_args[@]}" "$lib" | awk 'NF >= 3 { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sort -u)
[ -n "$symbols" ] || { echo "no symbols read from $lib"; exit 1; }
foreign=$(printf '%s\n' "$symbols" |
  sed -E 's/^(guard variable for|TLS init function for|TLS wrapper function for|typeinfo for|typeinfo name for|vtable for) //' |
  grep -vE '^(qz::|qz_|_edata$|_end$|__bss_start$|DW\.ref\.|__odr_asan\.)' |
  grep -vE '^(void|bool|int|unsigned int|long) \((\*\))?\(?[a-z ,]*\)$' |
  awk '{ head = $0; sub(/\(.*/, "", head); if (head !~ /(std|__gnu_cxx)::/) print }' || true)
if [ -n "$foreign" ]; then
  echo "symbols outside qz_ and namespace qz:"
  printf '%s\n' "$foreign"
  exit 1
fi
echo "$(printf '%s\n' "$symbols" | wc -l) symbols, all qz_, qz:: or standard-library instantiations"
