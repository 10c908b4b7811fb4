#!/usr/bin/env bash
# Sets up as test.sh does, builds, and starts a program.
#   ./run.sh            starts quenlor, the waveform analysis program
#   ./run.sh tavrix     starts tavrix, the communication test tool
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh
suite_install_packages
suite_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo

program=${1:-quenlor}
case "$program" in
  quenlor)
    # First run: remember the project's sample records as the last record folder.
    settings=${QUENLOR_SETTINGS_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/quenlor}
    if [ ! -f "$settings/zavoviv.ini" ]; then
      mkdir -p "$settings"
      printf '[CfgFolder]\nPath=%s\n' "$PWD/samples" > "$settings/zavoviv.ini"
    fi
    ;;
esac
if [ ! -x "build/release/bin/$program" ]; then
  echo "$program is not built yet."
  exit 1
fi
exec "build/release/bin/$program" "${@:2}"
