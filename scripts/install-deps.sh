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
  wine wine64 xvfb xauth icoutils libgtk-3-0 \
  libzip-dev pkg-config zip unzip rhino osslsigncode openssl ant libh2-java groovy clojure fop libjetty9-java \
  openjdk-17-jdk-headless openjdk-17-jre \
  maven libmaven3-core-java libmaven-resources-plugin-java libmaven-compiler-plugin-java \
  libmaven-jar-plugin-java libmaven-install-plugin-java junit5 \
  >/dev/null
# Windows runtimes for the Windows target's tests under Wine (into a cache, not the tree).
"$(dirname "$0")/fetch-windows-runtimes.sh"
# The real-application suite (tests/apps, run by tests/integration/apps_test.cpp) builds offline
# against a local repository of its own; one online build of it fetches every dependency and
# Maven plugin it uses, and dependency:get the one library of plumbox-maven-plugin.
APPS_M2="${PLB_APPS_M2:-${XDG_CACHE_HOME:-$HOME/.cache}/plumbox/m2}"
apps_copy="$(mktemp -d)"
cp -r "$(dirname "$0")/../tests/apps/." "$apps_copy"
JAVA_HOME=/usr/lib/jvm/java-17-openjdk-amd64 mvn -B -q -Dmaven.repo.local="$APPS_M2" -f "$apps_copy/pom.xml" \
  package >/dev/null
JAVA_HOME=/usr/lib/jvm/java-17-openjdk-amd64 mvn -B -q -Dmaven.repo.local="$APPS_M2" \
  dependency:get -Dartifact=org.codehaus.plexus:plexus-utils:3.4.2 >/dev/null
rm -rf "$apps_copy"
echo "install-deps: done"
