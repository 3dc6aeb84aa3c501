#!/usr/bin/env bash
# Links a module that uses the host's wrappers (module_probe.cpp), compiled for the Microsoft C++ ABI, against
# an import library that holds exactly the host's exports, and checks its imports with check_imports.cmake,
# the check the Windows workflow makes of the players' build. Each further row breaks one thing, and the check
# must name it.
# usage: imports_test.sh HOST_DIR CLANG++ LLD-LINK LLVM-DLLTOOL LLVM-READOBJ
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The host's interface facts, which the product's own build also reads.
facts=$(cd "$here/../../src/host/abi" && pwd)
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
mapfile -t exports < <(grep -v '^#' "$facts/exports.tsv" | cut -f1)
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
  cmake -DMODULE="$work/$1.dll" -DEXPORTS="$facts/exports.tsv" -DREADOBJ="$readobj" -P "$facts/check_imports.cmake" 2>&1
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

# A module that imports from a runtime DLL, linked as a module built against that runtime would be: the check
# must name the DLL and why.
# DLL | what the check must say
runtimes=(
  "msvcp140.dll|imports the C++ runtime's DLL msvcp140.dll, which the static runtime (/MT) builds in"
  "vcruntime140.dll|imports the C++ runtime's DLL vcruntime140.dll, which the static runtime (/MT) builds in"
  "api-ms-win-crt-runtime-l1-1-0.dll|imports the C++ runtime's DLL api-ms-win-crt-runtime-l1-1-0.dll"
  "msvcp140d.dll|imports the debug C++ runtime msvcp140d.dll"
  "vcruntime140_1d.dll|imports the debug C++ runtime vcruntime140_1d.dll"
  "user32.dll|imports user32.dll, which is neither the host's pluginsdk.dll nor KERNEL32.dll"
)
cat >"$work/runtime.cpp" <<'CPP'
extern "C" __declspec(dllimport) void runtime_entry();
extern "C" __declspec(dllexport) void fail() { runtime_entry(); }
CPP
"$clang" --target=x86_64-pc-windows-msvc -c "$work/runtime.cpp" -o "$work/runtime.obj"
# with_runtime NAME DLL: the plugin's calls and one call into DLL, linked into NAME.dll and checked.
with_runtime() {
  import_library "$1" "$2" runtime_entry
  "$lld_link" /dll /noentry /nodefaultlib /out:"$work/$1.dll" "$work/plain.obj" "$work/runtime.obj" \
    "$work/host.lib" "$work/$1.lib" 2>&1 && check "$1"
}
for row in "${runtimes[@]}"; do
  IFS='|' read -r dll expected <<<"$row"
  output=$(with_runtime runtime "$dll")
  expect "a module that imports from $dll" $? "$output" "$expected"
done
# KERNEL32.dll is the one DLL besides the host's that the static runtime itself imports from.
output=$(with_runtime kernel KERNEL32.dll)
expect "a module of the plugin's calls that also imports from KERNEL32.dll" $? "$output" pass
exit "$failed"
