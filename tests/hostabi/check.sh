#!/usr/bin/env bash
# Reads the host declarations in HOST_DIR (src/host/) as Visual Studio would, with clang targeting the
# Microsoft C++ ABI and a standard library shaped like Microsoft's (msstl/), and holds them to the host's
# interface in exports.tsv and layout.tsv:
#   - each class's size, alignment and bases are the host's (the probe layout_probe.cmake writes);
#   - every member a host class declares is exported by the host under the same decorated name, so a plugin
#     compiled against them links (const-ness, parameter and return types are all in the name);
#   - every constructor, assignment and destructor the host exports is declared, and no member of a host
#     class is defined in a header, so that copying and destroying a wrapper runs the host's code.
# Prints each difference and exits 1 if there is any.
# usage: check.sh HOST_DIR [CLANG++]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The host's interface facts, which the product's own build also reads.
facts=$(cd "$here/../../src/host/abi" && pwd)
host_dir=$1
clang=${2:-clang++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -DLAYOUT="$facts/layout.tsv" -DHOST_DIR="$host_dir" -DOUTPUT="$work/probe.cpp" -P "$facts/layout_probe.cmake"
if ! "$clang" --target=x86_64-pc-windows-msvc -std=c++20 -ffreestanding -nostdinc++ -isystem "$here/msstl" \
  -I "$host_dir" -fsyntax-only -Xclang -ast-dump=json "$work/probe.cpp" >"$work/ast.json" 2>"$work/errors"; then
  grep -E 'error|note: in instantiation' "$work/errors" | sed "s|$work/||"
  echo "the host declarations differ from the host's layout (above)"
  exit 1
fi

# Every constructor, assignment, destructor and member function of the host's classes (the plugin base class
# is the module's own, exported by the module): its decorated name, whether the header declares it or the
# compiler does, and whether the header defines it. A destructor's name is its complete-object form, whose
# exported counterpart is the base form.
classes=$(grep -v '^#' "$facts/layout.tsv" | cut -f1 | grep -v -e '^BakkesModPlugin$' -e '^PluginInfo' |
  sed 's/<.*//' | jq -R . | jq -s .)
jq -r --argjson classes "$classes" '
  .. | objects
  | select((.kind == "CXXRecordDecl" or .kind == "ClassTemplateSpecializationDecl")
           and .completeDefinition == true and (.name as $n | $classes | index($n)))
  | .inner[]? | select(.kind | test("^CXX(Method|Constructor|Destructor)Decl$")) | select(.mangledName)
  | [(.mangledName | sub("^\\?\\?_D(?<c>.*)@@QEAAXXZ$"; "??1\(.c)@@QEAA@XZ")),
     (if .isImplicit then "implicit" else "declared" end),
     (if (.explicitlyDefaulted or ([.inner[]? | select(.kind == "CompoundStmt")] | length > 0))
      then "defined" else "" end)]
  | @tsv' "$work/ast.json" | sort -u >"$work/members"
grep -v '^#' "$facts/exports.tsv" | cut -f1 | sort -u >"$work/exports"

status=0
while IFS=$'\t' read -r name origin defined; do
  [ "$origin" = declared ] || continue
  if ! grep -qxF -- "$name" "$work/exports"; then
    echo "declared but not exported by the host: $name"
    status=1
  fi
  if [ "$defined" = defined ]; then
    echo "defined in the header, so the plugin would never call the host's: $name"
    status=1
  fi
done <"$work/members"
# Constructors and destructors must be the header's own; an assignment may be the compiler's where the host's
# is too (ObjectWrapper's).
while read -r name; do
  if ! awk -F'\t' -v name="$name" '$1 == name && ($2 == "declared" || name ~ /^\?\?4/) { found = 1 }
                                   END { exit !found }' "$work/members"; then
    echo "exported by the host but not declared: $name"
    status=1
  fi
done < <(grep -E '^\?\?[014]' "$work/exports")
[ "$status" -eq 0 ] && echo "the host declarations in $host_dir match the host's interface"
exit "$status"
