#!/usr/bin/env bash
# What only Visual Studio rejects, found here in the project's own sources by clang's AST:
# - a free function of ours that takes arguments and shares its name with a name at the top of namespace std.
#   An unqualified call to it also finds the standard one by argument-dependent lookup once an argument's type
#   comes from std, and which wins depends on how each standard library constrains its own: libstdc++ keeps
#   std::bind away from an integer first argument, Microsoft's STL does not, so the call that works here
#   silently builds a bind expression there.
# - an exported class (marked for the host library's or a module's linkage) derived from a class that is not,
#   a standard-library class above all: Visual Studio's C4275, an error at /WX.
# Each rule must first report its trap in a scratch source; then the project's sources must be clean.
# usage: msvc_traps_test.sh BUILD_DIR CLANG++ CLANG-QUERY
set -uo pipefail
build=$1 clang=$2 query=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The standard library's top-level names, as clang lists every declaration of a unit that includes all of it.
echo '#include <bits/stdc++.h>' >"$work/all.cpp"
"$clang" -std=c++20 -fsyntax-only -Xclang -ast-list "$work/all.cpp" 2>/dev/null |
  sed -n -E 's/^std::([a-z][a-z0-9_]*)$/\1/p' | sort -u >"$work/std-names"
if [ ! -s "$work/std-names" ]; then
  echo "FAIL: $clang listed no names of the standard library"
  exit 1
fi

ours='isExpansionInFileMatching("^/.*/(src|standin|sim|tests|bench|fuzz|scratch)/")'
printf '%s\n' 'set output dump' \
  "match functionDecl(unless(cxxMethodDecl()), unless(isImplicit()), unless(parameterCountIs(0)), hasParent(namespaceDecl(unless(isInStdNamespace()))), $ours)" \
  "match cxxRecordDecl(isDefinition(), hasAttr(\"attr::Visibility\"), isDerivedFrom(cxxRecordDecl(unless(hasAttr(\"attr::Visibility\")))), $ours)" \
  >"$work/query"

# traps COMPILE_DB_DIR SOURCE...: "file:line: what" for each trap in the sources.
traps() {
  local database=$1
  shift
  printf '%s\n' "$@" | xargs -P 2 -n 16 "$query" -p "$database" -f "$work/query" 2>/dev/null |
    sed -n -E -e "s/^FunctionDecl 0x[0-9a-f]+ <([^:>]+):([0-9]+):[^>]*>.* ([A-Za-z_][A-Za-z0-9_]*) '.*/\1:\2: function \3/p" \
      -e "s/^CXXRecordDecl 0x[0-9a-f]+ <([^:>]+):([0-9]+):[^>]*>.* (class|struct) ([A-Za-z_][A-Za-z0-9_]*) definition$/\1:\2: exported \4 derives from a class that is not exported/p" |
    sort -u | while read -r place kind rest; do
      if [ "$kind" != function ]; then
        echo "$place $kind $rest"
      elif grep -qx "$rest" "$work/std-names"; then
        echo "$place $rest is also a standard name"
      fi
    done
}

failed=0
mkdir -p "$work/scratch"
cat >"$work/scratch/trap.cpp" <<'CPP'
#include <memory>
#include <stdexcept>
namespace {
void bind(int slot, std::shared_ptr<bool> cell) { *cell = slot != 0; }
}  // namespace
void bindTo(std::shared_ptr<bool> cell) { bind(1, std::move(cell)); }
class __attribute__((visibility("default"))) Refused : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct States {};
struct __attribute__((visibility("default"))) Game : States {};
CPP
printf '[{"directory":"%s","file":"%s","command":"%s -std=c++20 -c %s"}]\n' "$work/scratch" \
  "$work/scratch/trap.cpp" "$clang" "$work/scratch/trap.cpp" >"$work/scratch/compile_commands.json"
found=$(traps "$work/scratch" "$work/scratch/trap.cpp")
for expected in "trap.cpp:4: bind is also a standard name" \
  "trap.cpp:7: exported Refused derives from a class that is not exported" \
  "trap.cpp:11: exported Game derives from a class that is not exported"; do
  if grep -qF "$expected" <<<"$found"; then
    echo "as expected: the scratch source's trap is reported: $expected"
  else
    echo "FAIL: not reported: $expected (found: ${found:-nothing})"
    failed=1
  fi
done

mapfile -t sources < <(sed -n -E 's/^ *"file": "(.*)",?$/\1/p' "$build/compile_commands.json" |
  grep -E '/(src|standin|sim|tests|bench|fuzz)/' | sort -u)
found=$(traps "$build" "${sources[@]}")
if [ -n "$found" ]; then
  echo "FAIL: what Visual Studio would reject or call differently; rename the function, unmark the class:"
  sed 's/^/  /' <<<"$found"
  failed=1
else
  echo "as expected: none of ${#sources[@]} sources holds either trap"
fi
exit "$failed"
