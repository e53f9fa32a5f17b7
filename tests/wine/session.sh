#!/bin/sh
# session.sh start|end WINE SESSION_EXE: the wine session around a CTest run (see
# session.cpp). Every program here gets /dev/null for its output, so that no wine
# process can hold this test's pipe open.
set -eu
wine=$2
session=$3
case $1 in
  start)
    setsid "$wine" "$session" </dev/null >/dev/null 2>&1 &
    # Back once wine answers: the session's first program has started its services.
    "$wine" "$session" --started </dev/null >/dev/null 2>&1
    ;;
  end)
    "$wine" "$session" --end </dev/null >/dev/null 2>&1
    ;;
esac
