#!/usr/bin/env bash
# Link launcher of the web build: runs the link command it is given and keeps
# what the linker's --trace prints, the files it took code from, in FILE, for
# the site's third-party notices (web/build.sh).
# Usage: keep-link-trace.sh FILE COMMAND...
set -euo pipefail
trace=$1
shift
"$@" >"$trace"
