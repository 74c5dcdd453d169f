#!/bin/sh
# Runs a Windows program under Wine:
#   wine-run.sh <wineserver> <wine> <program> [<argument>...]
# The wineserver is started first to stay a minute after its last program, so
# that programs started one after another (a test suite) never meet a server
# that is shutting down, which Wine reports as "recvmsg: Connection reset by
# peer". Where one runs already, starting another fails harmlessly.
server=$1
wine=$2
shift 2
"$server" -p60 2>/dev/null
exec "$wine" "$@"
