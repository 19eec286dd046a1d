#!/bin/sh
# Runs a link command so that the image takes the date in DATE_FILE (written
# by cmake/source-date.cmake) as its PE time stamp: the linker reads it from
# SOURCE_DATE_EPOCH. An empty date means no time stamp at all (zero) rather
# than the time of the link.
#   dated-link.sh DATE_FILE LINK_COMMAND...
set -eu
date=$(cat "$1")
shift
if [ -n "$date" ]; then
  export SOURCE_DATE_EPOCH="$date"
  exec "$@"
fi
unset SOURCE_DATE_EPOCH
exec "$@" -Wl,--no-insert-timestamp
