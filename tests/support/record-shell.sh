#!/bin/sh
# Stands in for the user's web browser in the acceptance tests: Wine's winebrowser runs it as
#   record-shell.sh LOG ADDRESS
# (LOG from the command the test registered, ADDRESS what the program asked the shell to open), and it
# appends the address to LOG, one line per call.
log=$1
shift
printf '%s\n' "$*" >>"$log"
