#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need on a Debian 12 machine (as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
# maven and its plugin packages: the plugin build and the offline Maven test (junit5 brings the
# junit-bom that the poms of the compiler plugin's dependencies import).
$SUDO apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ make python3 python3-pip \
  zlib1g-dev googletest libgtest-dev \
  clang libclang-rt-14-dev \
  g++-mingw-w64-x86-64 libz-mingw-w64-dev \
  wine wine64 xvfb xauth icoutils \
  libzip-dev pkg-config zip unzip rhino osslsigncode openssl ant libh2-java groovy clojure fop libjetty9-java \
  openjdk-17-jdk-headless openjdk-17-jre \
  maven libmaven3-core-java libmaven-resources-plugin-java libmaven-compiler-plugin-java \
  libmaven-jar-plugin-java libmaven-install-plugin-java junit5 \
  >/dev/null
# Windows runtimes for the Windows target's tests under Wine (into a cache, not the tree).
"$(dirname "$0")/fetch-windows-runtimes.sh"
echo "install-deps: done"
