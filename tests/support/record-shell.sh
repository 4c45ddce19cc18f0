#!/bin/sh
# Stands in for the user's web browser in the acceptance tests: Wine's winebrowser runs it with the address
# that the program asked the shell to open; it appends that address, one line per call, to the file named by
# VELMORA_SHELL_LOG.
[ -n "$VELMORA_SHELL_LOG" ] || exit 1
printf '%s\n' "$*" >>"$VELMORA_SHELL_LOG"
