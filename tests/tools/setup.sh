#!/bin/sh
# Installs the build and test dependencies when they are missing (Debian).
set -e
need=""
dpkg -s g++-multilib >/dev/null 2>&1 || need="$need g++-multilib"
dpkg -s cmake >/dev/null 2>&1 || need="$need cmake"
dpkg -s ninja-build >/dev/null 2>&1 || need="$need ninja-build"
dpkg -s googletest >/dev/null 2>&1 || need="$need googletest"
dpkg -s jasmin-sable >/dev/null 2>&1 || need="$need jasmin-sable"
command -v javac >/dev/null 2>&1 || need="$need openjdk-17-jdk-headless"
# Kernels built without IA-32 support need user-mode emulation to run the
# 32-bit binaries; install it whenever it is absent, it costs little.
command -v python3 >/dev/null 2>&1 || need="$need python3-minimal"
command -v qemu-i386 >/dev/null 2>&1 || need="$need qemu-user"
if [ -n "$need" ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need
fi
