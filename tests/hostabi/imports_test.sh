#!/usr/bin/env bash
# Links a module that uses the host's wrappers (module_probe.cpp), compiled for the Microsoft C++ ABI, against
# an import library that holds exactly the host's exports, and checks its imports with check_imports.cmake,
# the check the Windows workflow makes of the players' build. Each further row breaks one thing, and the check
# must name it.
# usage: imports_test.sh HOST_DIR CLANG++ LLD-LINK LLVM-DLLTOOL LLVM-READOBJ
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host_dir=$1 clang=$2 lld_link=$3 dlltool=$4 readobj=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# An import library naming pluginsdk.dll with the host's exports, and any further names given.
import_library() {
  local out=$1 dll=$2
  shift 2
  { echo "LIBRARY $dll"; echo "EXPORTS"; printf '  %s\n' "$@"; } >"$work/$out.def"
  "$dlltool" -m i386:x86-64 -d "$work/$out.def" -l "$work/$out.lib"
}
mapfile -t exports < <(grep -v '^#' "$here/exports.tsv" | cut -f1)
import_library host pluginsdk.dll "${exports[@]}"

# module NAME HEADERS LIBRARIES FLAGS...: compiles and links the probe; false with the linker's words if not.
module() {
  local name=$1 headers=$2 libraries=$3
  shift 3
  "$clang" --target=x86_64-pc-windows-msvc -std=c++20 -ffreestanding -nostdinc++ -isystem "$here/msstl" \
    -I "$headers" -O1 -fno-exceptions -c "$here/module_probe.cpp" -o "$work/$name.obj" "$@" &&
    "$lld_link" /dll /noentry /nodefaultlib /out:"$work/$name.dll" "$work/$name.obj" $libraries
}
check() {
  cmake -DMODULE="$work/$1.dll" -DEXPORTS="$here/exports.tsv" -DREADOBJ="$readobj" -P "$here/check_imports.cmake" 2>&1
}

failed=0
expect() {
  local what=$1 status=$2 output=$3 expected=$4
  if { [ "$expected" = pass ] && [ "$status" -eq 0 ]; } ||
    { [ "$expected" != pass ] && [ "$status" -ne 0 ] && grep -qF -- "$expected" <<<"$output"; }; then
    echo "as expected: $what"
  else
    echo "FAIL: $what (exit $status, expected: $expected):"
    sed 's/^/    /' <<<"$output"
    failed=1
  fi
}

output=$(module plain "$host_dir" "$work/host.lib" 2>&1 && check plain)
expect "a module of the plugin's calls links against the host's exports and imports only them" $? "$output" pass

output=$(module keeps "$host_dir" "$work/host.lib" -DPROBE_KEEPS_THE_VARIABLE 2>&1 && check keeps)
expect "a module that never destroys a received variable" $? "$output" \
  "does not call the host's destructor ??1CVarWrapper@@QEAA@XZ"

# Declarations that drifted from the host's: the exact import library cannot link them, and an older one
# that happened to hold the name gives a module the real host cannot load.
cp -r "$host_dir" "$work/drifted"
perl -pi -e 's/bool IsInFreeplay\(\);/bool IsInFreeplay() const;/' "$work/drifted/GameWrapper.h"
output=$(module unlinked "$work/drifted" "$work/host.lib" 2>&1)
expect "drifted declarations do not link against the host's exports" $? "$output" \
  "undefined symbol: __declspec(dllimport) public: bool __cdecl GameWrapper::IsInFreeplay(void) const"
import_library older pluginsdk.dll "${exports[@]}" '?IsInFreeplay@GameWrapper@@QEBA_NXZ'
output=$(module drifted "$work/drifted" "$work/older.lib" 2>&1 && check drifted)
expect "a module that imports a name the host does not export" $? "$output" \
  "imports ?IsInFreeplay@GameWrapper@@QEBA_NXZ from pluginsdk.dll, which the host does not export"

import_library debug msvcp140d.dll '?_Xlength_error@std@@YAXPEBD@Z'
cat >"$work/debug.cpp" <<'CPP'
namespace std { [[noreturn]] __declspec(dllimport) void _Xlength_error(const char*); }
extern "C" __declspec(dllexport) void fail() { std::_Xlength_error("x"); }
CPP
output=$("$clang" --target=x86_64-pc-windows-msvc -c "$work/debug.cpp" -o "$work/debug.obj" 2>&1 &&
  "$lld_link" /dll /noentry /nodefaultlib /out:"$work/debug.dll" "$work/debug.obj" "$work/debug.lib" 2>&1 &&
  check debug)
expect "a module built against the debug C++ runtime" $? "$output" "imports the debug C++ runtime msvcp140d.dll"
exit "$failed"
