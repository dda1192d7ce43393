#!/usr/bin/env bash
# scripts/install-deps.sh against a package archive that is mid-sync, locked or broken:
# apt-get and sleep are stand-ins on PATH that answer as Debian's do, so the rows need no
# root and no network. Each row: what apt-get update answers on successive calls, what
# apt-get install answers, the status the script must end with, and what it must say.
set -u
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")

mkdir -p "$work/bin"
# Canned answers, as apt-get writes them on standard error, and the status of each.
cat >"$work/answers" <<'EOF'
ok|0|
mid-sync|100|E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]\n   Hashes of expected file:\n    - Filesize:376004 [weak]\nE: Some index files failed to download. They have been ignored, or old ones used instead.
lock|100|E: Could not get lock /var/lib/apt/lists/lock. It is held by process 4242 (apt-get)\nE: Unable to lock directory /var/lib/apt/lists/
no-network|100|E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'\nE: Some index files failed to download. They have been ignored, or old ones used instead.
held-broken|100|E: Unable to correct problems, you have held broken packages.
EOF
# Answers each call with the next of the row's answers for its verb (the last again once
# they run out), and logs the call's arguments.
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
verb=update
for word in "$@"; do [ "$word" = install ] && verb=install; done
echo "$*" >>"$STANDIN/calls"
count=$(( $(cat "$STANDIN/$verb.count" 2>/dev/null || echo 0) + 1 ))
echo "$count" >"$STANDIN/$verb.count"
read -ra answers <<<"$(cat "$STANDIN/$verb.answers")"
name=${answers[count - 1]:-${answers[${#answers[@]} - 1]}}
IFS='|' read -r _ status text < <(grep "^$name|" "$STANDIN/answers")
printf '%b\n' "$text" >&2
exit "$status"
EOF
printf '#!/bin/sh\necho "$*" >>"$STANDIN/sleeps"\n' >"$work/bin/sleep"
chmod +x "$work/bin/apt-get" "$work/bin/sleep"

left_out="install-deps.sh: going on without http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?)"
retried="install-deps.sh: the install failed, so it is tried again with -t $codename, the release's own suite"
# what | update's answers | install's answers | status | said on standard error (';' apart) | not said
rows=(
  "an index mid-sync is tried again, then left out, and -t mends the install|mid-sync|held-broken ok|0|$left_out;$retried|"
  "a lock held twice is waited out, and the install goes on without -t|lock lock ok|ok|0||going on without;tried again"
  "an install that fails with -t too ends non-zero with apt's error|mid-sync mid-sync ok|held-broken|1|$retried;E: Unable to correct problems, you have held broken packages.|"
  "an update that cannot reach the archive stops with apt's error|no-network|ok|1|Temporary failure resolving 'deb.debian.org'|going on without;tried again"
)
passed=0
failed=0
for row in "${rows[@]}"; do
  IFS='|' read -r what updates installs status said unsaid <<<"$row"
  rm -rf "$work/row" && mkdir "$work/row"
  cp "$work/answers" "$work/row/answers"
  echo "$updates" >"$work/row/update.answers"
  echo "$installs" >"$work/row/install.answers"
  got=0
  (
    export STANDIN="$work/row" PATH="$work/bin:$PATH"
    # shellcheck source=../../scripts/install-deps.sh
    source scripts/install-deps.sh
    update_and_install wine locales
  ) >"$work/row/out" 2>"$work/row/err" || got=$?
  why=""
  [ "$got" -eq "$status" ] || why="ended with $got, not $status"
  IFS=';' read -ra wanted <<<"$said"
  for text in "${wanted[@]}"; do
    grep -qF -- "$text" "$work/row/err" || why="$why; did not say: $text"
  done
  IFS=';' read -ra unwanted <<<"$unsaid"
  for text in "${unwanted[@]}"; do
    ! grep -qF -- "$text" "$work/row/err" || why="$why; said: $text"
  done
  # A failed install is tried again with the target release, and only then.
  if grep -q -- "-t $codename" "$work/row/calls" && ! grep -qF "$retried" "$work/row/err"; then
    why="$why; used -t without saying so"
  fi
  if [ -z "$why" ]; then
    echo "ok   install-deps.sh: $what"
    passed=$((passed + 1))
  else
    echo "FAIL install-deps.sh: $what: ${why#; }"
    sed 's/^/     | /' "$work/row/err"
    failed=$((failed + 1))
  fi
done
echo "install-deps.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
