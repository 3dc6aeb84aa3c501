#!/usr/bin/env bash
# Proves check.sh: each row changes one thing in a scratch copy of the host declarations, as a careless edit
# would, and check.sh must fail, naming what changed.
# usage: drift_test.sh HOST_DIR [CLANG++]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host_dir=$1
clang=${2:-clang++}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# file | the edit (a perl substitution) | what check.sh must say
drifts=(
  "GameWrapper.h|s/bool IsInFreeplay\(\);/bool IsInFreeplay() const;/|not exported by the host: ?IsInFreeplay@GameWrapper@@QEBA_NXZ"
  "ArrayWrapper.h|s/T Get\(int index\);/T Get(long index);/|not exported by the host: ?Get@?\$ArrayWrapper@VBallWrapper@@@@QEAA?AVBallWrapper@@J@Z"
  "ArrayWrapper.h|s/int Count\(\);/unsigned Count();/|not exported by the host: ?Count@?\$ArrayWrapper@VBallWrapper@@@@QEAAIXZ"
  "CanvasWrapper.h|s/DrawString\(std::string text/DrawString(const std::string& text/|not exported by the host: ?DrawString@CanvasWrapper@@QEAAXAEBV"
  "CVarWrapper.h|s/operator=\(CVarWrapper rhs\)/operator=(const CVarWrapper& rhs)/|exported by the host but not declared: ??4CVarWrapper@@QEAAAEAV0@V0@@Z"
  "CVarWrapper.h|s/  ~CVarWrapper\(\);\n//|exported by the host but not declared: ??1CVarWrapper@@QEAA@XZ"
  "CanvasWrapper.h|s/~CanvasWrapper\(\);/~CanvasWrapper() = default;/|defined in the header, so the plugin would never call the host's: ??1CanvasWrapper@@QEAA@XZ"
  "ServerWrapper.h|s/public TeamGameEventWrapper/public GameEventWrapper/|ServerWrapper derives from TeamGameEventWrapper"
  "BallWrapper.h|s/  std::unique_ptr<Impl> pimpl;\n//|SizeIsTheHosts<BallWrapper, 32, 24>"
  "Records.h|s/  std::uint32_t Flags;\n//|SizeIsTheHosts<RBState, 60, 56>"
  "ArrayWrapper.h|s/class ArrayWrapper \{/class ArrayWrapper : public ObjectWrapper {/|ArrayWrapper<BallWrapper> does not derive from ObjectWrapper"
)

failed=0
for row in "${drifts[@]}"; do
  IFS='|' read -r file edit expected <<<"$row"
  rm -rf "$scratch/host" && cp -r "$host_dir" "$scratch/host"
  perl -0pi -e "$edit" "$scratch/host/$file"
  if cmp -s "$host_dir/$file" "$scratch/host/$file"; then
    echo "FAIL: the edit '$edit' changes nothing in $file any more"
    failed=1
    continue
  fi
  output=$("$here/check.sh" "$scratch/host" "$clang" 2>&1)
  status=$?
  if [ "$status" -ne 0 ] && grep -qF -- "$expected" <<<"$output"; then
    echo "caught: $file: $edit"
  else
    echo "FAIL: $file: $edit: check.sh exited $status without saying '$expected':"
    sed 's/^/    /' <<<"$output"
    failed=1
  fi
done
exit "$failed"
