#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# The README's commands on a brand-new Debian 13 from a Debian 12 (or 13)
# machine, as root: in a minimal Debian 13 root with what a newcomer has
# (git, build-essential, cmake, nodejs, npm), a copy of this working tree (the
# tracked and the new, not ignored files) runs scripts/test.sh, then
# scripts/package.sh, and the package must install with apt-get and start.
# The package is copied back into dist/.
#
# The root is made with debootstrap once and kept in
# SKARVEL_DEBIAN13_ROOT (default /var/cache/skarvel-monitor/debian13-root),
# with its package lists, its ccache and nothing else of a run: each run
# brings its packages up to date, copies the tree afresh (its own .deps and
# builds) and removes the package it installed. Its /proc, /sys and /dev are
# mounted in a mount namespace of its own, which ends with the run.
# Archive: the Debian mirror this machine's apt uses, or SKARVEL_DEBIAN_MIRROR.
#
# Usage: scripts/test-debian13.sh [ARGUMENT]   ARGUMENT goes to scripts/test.sh
#                                              (default: default)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SUITE=trixie
ROOTFS=${SKARVEL_DEBIAN13_ROOT:-/var/cache/skarvel-monitor/debian13-root}
TEST_ARGUMENT=${1:-default}
# Inside the root; fixed, so that ccache finds the previous run's objects.
TREE=/root/skarvel-monitor

if [ "$(id -u)" -ne 0 ]; then
  echo "test-debian13: run as root (debootstrap, chroot and mounts)" >&2
  exit 1
fi
stamp() { date +%s; }
start=$(stamp)

if ! command -v debootstrap >/dev/null 2>&1; then
  echo "test-debian13: installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get -q update
  DEBIAN_FRONTEND=noninteractive apt-get -q install -y --no-install-recommends debootstrap
fi

# One run at a time per root.
mkdir -p "$(dirname "$ROOTFS")"
exec 9>"$ROOTFS.lock"
flock 9

repo_uri() {
  # shellcheck disable=SC2016
  apt-get indextargets --format '$(REPO_URI)' "Label: $1" 'Created-By: Packages' 2>/dev/null |
    head -n 1
}
# The archive's labels come with the package lists.
if [ -z "${SKARVEL_DEBIAN_MIRROR:-}" ] && [ -z "$(repo_uri Debian)" ]; then
  DEBIAN_FRONTEND=noninteractive apt-get -q update
fi
MIRROR=${SKARVEL_DEBIAN_MIRROR:-$(repo_uri Debian)}
SECURITY=${SKARVEL_DEBIAN_SECURITY_MIRROR:-$(repo_uri Debian-Security)}
if [ -z "$MIRROR" ]; then
  echo "test-debian13: no Debian mirror in apt's sources; set SKARVEL_DEBIAN_MIRROR" >&2
  exit 1
fi

# Runs a script in the root, with /proc, /sys and /dev mounted in a mount
# namespace of its own: they go when the script ends, however it ends.
in_root() {
  cp /etc/resolv.conf "$1/etc/resolv.conf"
  # The root trusts the certificate authorities this machine added (a TLS
  # proxy's, say): npm fetches over https.
  rm -rf "$1/usr/local/share/ca-certificates"
  mkdir -p "$1/usr/local/share/ca-certificates"
  if [ -d /usr/local/share/ca-certificates ]; then
    cp -a /usr/local/share/ca-certificates/. "$1/usr/local/share/ca-certificates/"
  fi
  # shellcheck disable=SC2016
  unshare --mount --propagation private sh -euc '
    mount -t proc proc "$1/proc"
    mount --rbind /sys "$1/sys"
    mount --rbind /dev "$1/dev"
    exec chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      CCACHE_DIR=/root/.ccache /bin/sh -euc "$2"
  ' test-debian13 "$1" "$2"
}

if [ ! -f "$ROOTFS/.complete" ]; then
  echo "test-debian13: making a Debian 13 root in $ROOTFS"
  rm -rf "$ROOTFS" "$ROOTFS.new"
  debootstrap --variant=minbase "$SUITE" "$ROOTFS.new" "$MIRROR"
  {
    echo "Types: deb"
    echo "URIs: $MIRROR"
    echo "Suites: $SUITE $SUITE-updates"
    echo "Components: main"
    echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    if [ -n "$SECURITY" ]; then
      echo
      echo "Types: deb"
      echo "URIs: $SECURITY"
      echo "Suites: $SUITE-security"
      echo "Components: main"
      echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    fi
  } >"$ROOTFS.new/etc/apt/sources.list.d/debian.sources"
  rm -f "$ROOTFS.new/etc/apt/sources.list"
  # A root cut short is made again; dpkg need not wait for the disk.
  echo force-unsafe-io >"$ROOTFS.new/etc/dpkg/dpkg.cfg.d/unsafe-io"
  # Nothing that a package installs starts a service in the root.
  printf '#!/bin/sh\nexit 101\n' >"$ROOTFS.new/usr/sbin/policy-rc.d"
  chmod 755 "$ROOTFS.new/usr/sbin/policy-rc.d"
  # What a newcomer has, and ccache for the next run's build. debootstrap's
  # own dependency resolution is not up to npm's.
  in_root "$ROOTFS.new" '
    apt-get -q update
    apt-get -q -y upgrade
    apt-get -q -y install --no-install-recommends \
      ca-certificates git build-essential cmake nodejs npm ccache
    apt-get clean'
  touch "$ROOTFS.new/.complete"
  mv "$ROOTFS.new" "$ROOTFS"
  echo "test-debian13: root made in $(($(stamp) - start)) s"
fi

rm -rf "${ROOTFS:?}$TREE" "$ROOTFS"/tmp/* "$ROOTFS"/tmp/.[!.]* 2>/dev/null || true
mkdir -p "$ROOTFS$TREE"
# The working tree as git sees it, made a repository of its own again: the
# licence check asks git which files are ignored.
(cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
  tar --null --files-from=- --ignore-failed-read -cf -) | tar -xf - -C "$ROOTFS$TREE"
echo "test-debian13: tree copied from $ROOT ($(git -C "$ROOT" rev-parse --short HEAD))"

in_root "$ROOTFS" "
  dpkg --configure -a
  update-ca-certificates --fresh >/dev/null 2>&1
  apt-get -q update
  apt-get -q -y upgrade
  cd $TREE
  git -c init.defaultBranch=main init -q && git add -A && git -c user.name=ci -c user.email=ci@localhost commit -qm tree
  . /etc/os-release && echo \"test-debian13: \$PRETTY_NAME\"
  ./scripts/test.sh $TEST_ARGUMENT
  ./scripts/package.sh
  apt-get -q -y purge skarvel-monitor >/dev/null 2>&1 || true
  apt-get -q -y install ./dist/skarvel-monitor_*.deb
  dpkg-query -W -f='test-debian13: installed \${Package} \${Version}\n' skarvel-monitor
  skarvel-monitor --version
  apt-get -q -y purge --autoremove skarvel-monitor
  apt-get clean"

mkdir -p "$ROOT/dist"
cp "$ROOTFS$TREE"/dist/skarvel-monitor_*.deb "$ROOT/dist/"
echo "test-debian13: passed in $(($(stamp) - start)) s;" \
  "$(cd "$ROOTFS$TREE/dist" && ls skarvel-monitor_*.deb) copied to dist/"
