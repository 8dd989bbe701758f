#!/usr/bin/env bash
# Sets up, builds and starts the program; an argument is a database file to open.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under a virtual X server (xvfb-run)."
  exec xvfb-run -a "$root/build/bin/vellumgranary" "$@"
fi
exec "$root/build/bin/vellumgranary" "$@"
