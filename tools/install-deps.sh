#!/usr/bin/env bash
# Installs the Debian packages named in the given list files, only those that are missing.
set -euo pipefail
want=()
for list in "$@"; do
  while read -r pkg _; do
    [[ -z "$pkg" || "$pkg" == \#* ]] && continue
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || want+=("$pkg")
  done < "$list"
done
((${#want[@]} == 0)) && exit 0
echo "Installing: ${want[*]}"
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${want[@]}"
