#!/usr/bin/env bash
# Fails when a source file outside platform/ and bench/ includes SDL, OpenGL
# or libepoxy headers: the platform layer is the only seam to them.
set -u
root=${1:-.}
cd "$root" || exit 2
hits=$(find . -path ./build\* -prune -o -path ./platform -prune -o -path ./bench -prune -o \
         -path ./.git -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' \) -print |
       xargs -r grep -lE '#[[:space:]]*include[[:space:]]*[<"](SDL|SDL2/|epoxy/|GL/)' 2>/dev/null)
if [ -n "$hits" ]; then
  echo "these files include platform headers outside platform/:"
  echo "$hits"
  exit 1
fi
echo "seam ok"
