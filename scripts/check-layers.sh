#!/usr/bin/env bash
# Checks that each folder of src/ and sim/ includes only from itself and from the folders below
# it, so that a change reaches only the folders above it. Prints every include that goes up or
# sideways, with its file and line, and fails when there is one.
#
# The order, from the top: a folder may include from those after it on its line's list.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A below=(
  # The diagnostic: the menus on top, the seam at the bottom.
  [src/menu]="board ethernet agent diag ipc devices os"
  [src/board]="diag devices os"
  [src/ethernet]="diag devices os"
  [src/agent]="ipc devices os"
  [src/diag]="devices os"
  [src/ipc]="devices os"
  [src/devices]="os"
  [src/os]=""
  # The simulated card: the program's main on top, the card's clock and faults at the bottom.
  # From src/ the simulator takes the seam and the register maps that driver and model share.
  [sim/app]="sim/card sim/console sim/userland sim/kernel sim/chips sim/storage sim/core os devices"
  [sim/campaign]="sim/app sim/card sim/console sim/userland sim/kernel sim/chips sim/storage sim/core"
  [sim/daemons]="sim/app sim/card sim/core agent ipc devices os"
  [sim/card]="sim/console sim/userland sim/kernel sim/chips sim/storage sim/core os devices"
  [sim/console]="sim/core os"
  [sim/userland]="sim/kernel sim/chips sim/storage sim/core"
  [sim/kernel]="sim/chips sim/storage sim/core devices"
  [sim/chips]="sim/storage sim/core devices"
  [sim/storage]="sim/core"
  [sim/core]=""
)

# Register maps and the other headers of src/devices/ the simulator may share.
shared_devices='devices/(lm77_regs|pca9557_regs|mii_regs)\.h'

bad=0
for folder in "${!below[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line text; do
    inc=${text#*\"}
    inc=${inc%%\"*}
    case $inc in */*) ;; *) continue ;; esac
    # The folder an include names: sim/<kind>/... or the top folder of src/.
    if [[ $inc == sim/* ]]; then
      target=$(cut -d/ -f1-2 <<<"$inc")
    else
      target=${inc%%/*}
    fi
    # kmbdiag-sim runs the diagnostic's entry; nothing else of the simulator reaches the menus.
    [[ $file == sim/app/main.cpp && $inc == menu/kmb_main.h ]] && continue
    own=${folder#src/}
    [[ $target == "$own" || $target == "$folder" ]] && continue
    if [[ $folder == sim/* && $target == devices ]] && ! [[ $inc =~ ^$shared_devices$ ]]; then
      # Only the daemons, which are the card's own programs, use the device libraries.
      [[ $folder == sim/daemons ]] || { echo "$file:$line: $folder includes $inc (only register maps cross)"; bad=1; continue; }
    fi
    if ! grep -qw -- "$target" <<<"${below[$folder]}"; then
      echo "$file:$line: $folder includes $inc, which is not below it"
      bad=1
    fi
  done < <(grep -rn '^#include "' "$folder" --include='*.h' --include='*.cpp' || true)
done
exit $bad
