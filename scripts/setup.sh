#!/usr/bin/env bash
# The first command of the README: installs the dependencies, builds
# everything and runs the main job on the bundled examples.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" normal
"$top/scripts/demo.sh"
