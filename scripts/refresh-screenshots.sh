#!/usr/bin/env bash
# Refreshes the README's screenshots from a fresh run of the demo's walkthrough
# (offscreen, so the pictures do not depend on a desktop's theme or fonts):
#   bash scripts/refresh-screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cmake --build "$build" --target quibra-host >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bin/quibra-host" --demo --script --out "$out" >/dev/null
grep -q '^Every count matches: yes$' "$out/summary.txt"

# The console with the published results, and a Chinese-speaking attendee's
# answer as it is about to be sent.
console=$(grep -oE 'screens/07-presenter-[0-9]+\.png  640x480' "$out/summary.txt" | head -n 1 | cut -d' ' -f1)
vote=$(ls "$out"/screens/05-vote-liming-*.png | tail -n 1)
cp "$out/$console" "$root/docs/console.png"
cp "$vote" "$root/docs/voting-dialog.png"
echo "docs/console.png and docs/voting-dialog.png refreshed"
