#!/usr/bin/env bash
# The start page in a real browser engine. Builds the page as the help file
# holds it (Windows-1251, with its images), compiles the help file when
# chmcmd is there, and runs start_page.test.js against both in headless
# Chromium. Installs Chromium and the test's node packages when missing.
# The last line printed is "N passed, N failed".
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"

give_up() { echo "start page: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
[ -x /usr/bin/chromium ] || missing+=(chromium)
# Cyrillic text needs a font that has it; these are what Chromium falls back to.
fc-list 2>/dev/null | grep -qi 'Liberation Sans' || missing+=(fonts-liberation)
fc-list 2>/dev/null | grep -qi 'DejaVu Sans' || missing+=(fonts-dejavu-core)
if [ ${#missing[@]} -gt 0 ]; then
  echo "start page: installing ${missing[*]}"
  { as_root apt-get update -qq &&
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
    >/dev/null 2>&1 || give_up "could not install ${missing[*]}"
fi
command -v node >/dev/null || give_up "node is missing"
command -v python3 >/dev/null || give_up "python3 is missing"

# The lock file pins playwright-core; the browser is Debian's, never a download.
stamp="$here/node_modules/.package-lock.json"
if [ ! -f "$stamp" ] || [ "$here/package-lock.json" -nt "$stamp" ]; then
  (cd "$here" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error) ||
    give_up "npm ci failed"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chm_args=()
if command -v chmcmd >/dev/null; then
  python3 "$root/resources/build_help.py" "$root/resources/help" "$work" --chmcmd "$(command -v chmcmd)" ||
    give_up "the help file does not build"
  chm_args=(--chm "$work/lumcenter.chm")
else
  python3 "$root/resources/build_help.py" "$root/resources/help" "$work" || give_up "the page does not build"
fi

mkdir -p "$root/build/artefacts"
node "$here/start_page.test.js" --page-dir "$work/stage" "${chm_args[@]}" \
  --screenshot "$root/build/artefacts/start-page.png"
