#!/usr/bin/env bash
# Runs the README's two commands as a new user would: on a clean Debian 12
# (bookworm) made with debootstrap, as root, in a copy of the committed tree.
#
#   sudo bash scripts/check-clean-debian.sh [--dir DIR] [--fresh] [--mirror URL] [--ref REF]
#
# --dir     where the systems live (default /var/tmp/tessaly-clean-debian):
#           DIR/base is the pristine bootstrap, kept for the next run;
#           DIR/run is a fresh copy of it for every run.
# --fresh   bootstrap DIR/base again instead of reusing it.
# --mirror  the Debian mirror (default: the one this machine's apt uses).
# --ref     the commit to export (default HEAD; only committed files go in).
#
# Nothing is installed into the system beyond what debootstrap's minimal
# variant brings and what the README's commands install themselves. The
# additions are this machine's name resolution and certificate authorities
# (for networks whose package registries are reached through an intercepting
# proxy) and a policy-rc.d that keeps packages from starting services, as in
# Debian's container images. Needs root, debootstrap, unshare and a few GB
# under DIR; takes a while (a full build on a clean system). Prints a verdict
# and exits non-zero if either command fails.
set -euo pipefail

# The whole script is one function, read before it runs, so that editing or
# checking out this file during a run (which takes a while) cannot change it.
main() {

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DIR=/var/tmp/tessaly-clean-debian
FRESH=0
REF=HEAD
MIRROR=""

while (($#)); do
  case "$1" in
    --dir) DIR="$2"; shift 2 ;;
    --fresh) FRESH=1; shift ;;
    --mirror) MIRROR="$2"; shift 2 ;;
    --ref) REF="$2"; shift 2 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
done

if [[ $(id -u) -ne 0 ]]; then
  echo "check-clean-debian.sh needs root (debootstrap, chroot, mounts)." >&2
  exit 2
fi
for tool in debootstrap unshare chroot git; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing on this machine." >&2; exit 2; }
done

# The mirror apt uses here, from deb822 sources or a classic sources.list.
if [[ -z "$MIRROR" ]]; then
  MIRROR="$(grep -h -E '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null \
    | awk '{print $2}' | grep -v -- '-security' | grep -m1 debian || true)"
fi
if [[ -z "$MIRROR" ]]; then
  MIRROR="$(grep -h -E '^deb +(\[[^]]*\] +)?https?://[^ ]+ +bookworm ' /etc/apt/sources.list 2>/dev/null \
    | sed -E 's/^deb +(\[[^]]*\] +)?//' | awk '{print $1}' | head -n1 || true)"
fi
MIRROR="${MIRROR:-http://deb.debian.org/debian}"
SECURITY_MIRROR="${MIRROR%/debian}/debian-security"

BASE="$DIR/base"
RUN="$DIR/run"
START=$(date +%s)
elapsed() { local s=$(( $(date +%s) - START )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }
say() { printf '[check-clean-debian %s] %s\n' "$(elapsed)" "$*"; }

mkdir -p "$DIR"

# 1. The pristine system, bootstrapped once and reused unless --fresh.
if ((FRESH)) || [[ ! -f "$BASE/.bootstrapped" ]]; then
  say "bootstrapping Debian 12 (bookworm, minbase) from $MIRROR into $BASE"
  rm -rf "$BASE"
  debootstrap --variant=minbase --include=ca-certificates bookworm "$BASE" "$MIRROR" \
    >"$DIR/debootstrap.log" 2>&1 || { tail -n 50 "$DIR/debootstrap.log"; say "debootstrap failed"; exit 1; }
  rm -f "$BASE/etc/apt/sources.list"
  cat >"$BASE/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $MIRROR
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $SECURITY_MIRROR
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  # As in Debian's container images: packages do not start services in here.
  printf '#!/bin/sh\nexit 101\n' >"$BASE/usr/sbin/policy-rc.d"
  chmod 755 "$BASE/usr/sbin/policy-rc.d"
  touch "$BASE/.bootstrapped"
else
  say "reusing the bootstrapped system in $BASE (--fresh to make it again)"
fi

# 2. A clean copy for this run, with the host's certificate authorities and
#    name resolution, and the committed tree in /root/tessaly.
say "copying the clean system to $RUN"
rm -rf "$RUN"
cp -a "$BASE" "$RUN"
cp /etc/resolv.conf "$RUN/etc/resolv.conf"
cp /etc/ssl/certs/ca-certificates.crt "$RUN/etc/ssl/certs/host-ca-certificates.crt"
shopt -s nullglob
extra_cas=(/usr/local/share/ca-certificates/*.crt)
shopt -u nullglob
if ((${#extra_cas[@]})); then
  mkdir -p "$RUN/usr/local/share/ca-certificates"
  cp "${extra_cas[@]}" "$RUN/usr/local/share/ca-certificates/"
fi
chroot "$RUN" /usr/sbin/update-ca-certificates >/dev/null 2>&1

commit="$(git -C "$ROOT" rev-parse --short "$REF")"
say "exporting commit $commit into /root/tessaly"
mkdir -p "$RUN/root/tessaly"
git -C "$ROOT" archive --format=tar "$REF" | tar -x -C "$RUN/root/tessaly"

# 3. The README's two commands, as root in the chroot, in a private mount
#    namespace so that nothing stays mounted when this script ends.
run_in_chroot() {
  local cmd="$1" log="$2"
  unshare --mount --propagation private bash -euo pipefail -c '
    run="$1"; cmd="$2"
    cleanup() {
      for m in dev/shm dev/pts dev sys proc; do umount -l "$run/$m" 2>/dev/null || true; done
    }
    trap cleanup EXIT
    mount -t proc proc "$run/proc"
    mount --bind /sys "$run/sys"
    mount --bind /dev "$run/dev"
    mount --bind /dev/pts "$run/dev/pts"
    mount -t tmpfs -o mode=1777 shm "$run/dev/shm"
    chroot "$run" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt \
      bash -c "cd /root/tessaly && $cmd"
  ' _ "$RUN" "$cmd" 2>&1 | tee "$log"
}

status=0
declare -a verdicts=()
n=0
for cmd in "bash scripts/run-example.sh" "bash scripts/run-tests.sh"; do
  n=$((n + 1))
  log="$DIR/command-$n.log"
  say "running: $cmd"
  t0=$(date +%s)
  if run_in_chroot "$cmd" "$log"; then
    verdicts+=("PASS  $cmd ($(( ($(date +%s) - t0) / 60 ))m)")
  else
    verdicts+=("FAIL  $cmd ($(( ($(date +%s) - t0) / 60 ))m; log: $log)")
    status=1
  fi
done

echo
echo "========== clean Debian 12 check (commit $commit, mirror $MIRROR) =========="
for v in "${verdicts[@]}"; do echo "  $v"; done
if ((status == 0)); then
  echo "  verdict: both README commands passed on a clean Debian 12 in $(elapsed)"
else
  echo "  verdict: FAILED after $(elapsed)"
fi
exit "$status"
}

main "$@"
