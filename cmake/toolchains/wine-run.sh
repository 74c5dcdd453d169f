#!/bin/sh
# Runs a Windows program under Wine:
#   wine-run.sh <wineserver> <wine> <program> [<argument>...]
# The wineserver is started first to stay a minute after its last program, so
# that programs started one after another (a test suite) never meet a server
# that is shutting down, which Wine reports as "recvmsg: Connection reset by
# peer". Where one runs already, starting another fails harmlessly. The
# server gets none of this program's descriptors: whoever reads its output
# (ctest) would otherwise wait for the server to end too.
server=$1
wine=$2
shift 2
if "$server" -p60 </dev/null >/dev/null 2>&1; then
  # A new server: the first program starts Wine's own services, which live as
  # long as the server does; started here, they hold none of our descriptors.
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
