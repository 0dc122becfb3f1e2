#!/usr/bin/env bash
# Checks that every include of the component library points down its layers: a file
# includes only files of its own folder and of the layers its folder's library links
# (components/*/CMakeLists.txt). Prints each include that points elsewhere; exits 1 if any.
set -euo pipefail
cd "$(dirname "$0")/../components"

declare -A allowed=(
  [core]="core"
  [image]="core image"
  [files]="core image files"
  [convert]="core image convert"
  [camera]="core image files camera"
  [display]="core image display"
  [record]="core image files camera record"
  [measure]="core image measure"
)

declare -A layerOf=()
for layer in "${!allowed[@]}"; do
  for file in "$layer"/*; do
    layerOf[$(basename "$file")]=$layer
  done
done

bad=0
for layer in "${!allowed[@]}"; do
  for file in "$layer"/Qyn*; do
    while IFS= read -r included; do
      target=${layerOf[$included]:-}
      [[ -z $target ]] && continue  # a system or library header
      if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
        echo "$file includes $included of $target, not below $layer"
        bad=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done
done
exit $bad
