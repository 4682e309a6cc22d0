#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Run as root; does nothing that is already done.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libbenchmark-dev libcurl4-openssl-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xdotool imagemagick fp-utils python3 curl locales
  libgtk-3-dev libwebkit2gtk-4.1-dev libchm-dev pkg-config fonts-dejavu-core
  libayatana-appindicator3-dev libcanberra-dev trayer dbus dbus-x11 lintian python3-gi x11-utils
  fonts-liberation libfontconfig-dev libx11-dev mutter
  clang libclang-rt-14-dev
  at-spi2-core gir1.2-atspi-2.0 passwd util-linux
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: Russian gives 1251, English
# 1252. The tests run under both.
need_locale=0
for l in ru_RU.UTF-8 en_US.UTF-8; do
  grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null || { sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen; need_locale=1; }
  locale -a 2>/dev/null | grep -qi "^${l%%.*}.utf8$" || need_locale=1
done
if [ $need_locale = 1 ]; then locale-gen >/dev/null; fi
