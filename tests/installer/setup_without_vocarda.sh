#!/usr/bin/env bash
# SetUp on a machine without Vocarda: the message, exit code 1, no window.
set -uo pipefail
setup=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export QRVN_ROOT=$root
unset DISPLAY
"$setup" 2>"$root/err"
code=$?
if [ "$code" -ne 1 ]; then
  echo "expected exit code 1, got $code"; cat "$root/err"; exit 1
fi
expected="MessageBox: Установка Vocarda CTI: Перед установкой Vocarda CTI необходимо установить программу Vocarda."
if ! grep -qxF "$expected" "$root/err"; then
  echo "message missing; stderr was:"; cat "$root/err"; exit 1
fi
echo "ok"
