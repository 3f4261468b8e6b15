#!/bin/bash
# Installs what is needed, builds, and runs every test tier:
#   native (sanitizers) and fuzz from build/native; win and blackbox under
#   Wine + Xvfb from build/win. Screenshots go to build/win/screenshots/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh
bash tools/build.sh all

read -r display xvfb_pid < <(bash tools/xvfb.sh)
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export DISPLAY="$display"

echo "Screenshots taken by the tests go to $root/build/win/screenshots/"
status=0
ctest --test-dir build/native --output-on-failure || status=1
ctest --test-dir build/win --output-on-failure || status=1
exit $status
