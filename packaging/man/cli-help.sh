#!/bin/sh
# What help2man reads as the --help of tavorine-mov-cli: the top-level help and
# then each command's own options under its usage line, so the manual page
# lists them all. TAVORINE_CLI is the built program.
set -e
case $1 in
  --version) exec "$TAVORINE_CLI" --version ;;
esac
"$TAVORINE_CLI" --help
for command in scan recover list; do
  echo
  # A usage line ending in a colon over an indented line is a sub-section to
  # help2man; the "Options:" heading would fold into the top-level OPTIONS.
  "$TAVORINE_CLI" "$command" --help | awk '
    NR == 1 { description = $0; next }
    NR == 2 { sub(/^Usage: /, ""); print $0 ":"; print "  " description; print ""; next }
    /^(Positionals|Options):$/ || /^$/ { next }
    { print }'
done
