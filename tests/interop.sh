#!/bin/sh
# Tosses packets written by CrashMail II's crashwrite into *.MSG areas with
# crashmail, then checks storlook's dump of every message against what went
# into the packets. Exits 77 (skipped) when CrashMail II is not installed.
# usage: interop.sh STORLOOK VERSION
set -eu
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
for prog in crashwrite crashmail; do
  if ! command -v "$prog" >/dev/null 2>&1; then
    echo "skipped: $prog not installed (Debian package crashmail)"
    exit 77
  fi
done

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir inb outb pkt tmp netmail echo bad
cat >crashmail.prefs <<PREFS
SYSOP "Ann Lee"
LOGFILE "$dir/crashmail.log"
LOGLEVEL 1
DUPEFILE "$dir/dupes" 200
DUPEMODE IGNORE
DEFAULTZONE 2
INBOUND "$dir/inb"
OUTBOUND "$dir/outb"
TEMPDIR "$dir/tmp"
CREATEPKTDIR "$dir/tmp"
PACKETDIR "$dir/outb"
STATSFILE "$dir/stats"
AKA 2:5020/1042.0
DOMAIN "FidoNet"
NODE 2:5020/1043.0 "" "" AUTOADD
NETMAIL "NETMAIL" 2:5020/1042.0 MSG "$dir/netmail"
AREA "BAD" 2:5020/1042.0 MSG "$dir/bad"
AREA "FIDO_TEST" 2:5020/1042.0 MSG "$dir/echo"
EXPORT 2:5020/1043.0
PREFS

printf 'Hello Ann,\n\nThe point meeting moves to Sunday.\nBring the nodelist.\n' >net.txt
printf 'Hello All!\nThe tosser runs every ten minutes now.\n' >echo.txt
long_subject="A subject of seventy-one characters, the most the header can hold, ok"
crashwrite DIR pkt FROMNAME "Bob Hart" FROMADDR 2:5020/1043 TONAME "Ann Lee" \
  TOADDR 2:5020/1042 SUBJECT "Meeting on Sunday" TEXT net.txt >/dev/null
crashwrite DIR pkt FROMNAME "Bob Hart" FROMADDR 2:5020/1043 \
  SUBJECT "$long_subject" AREA FIDO_TEST ORIGIN "Hart's point" TEXT echo.txt >/dev/null
crashmail SETTINGS crashmail.prefs TOSSDIR pkt NOSECURITY >/dev/null

fail=0
# expect FILE PATTERN...: each grep -x pattern matches a line of FILE's dump.
expect() {
  file=$1
  shift
  for pattern in "$@"; do
    if ! grep -qx -e "$pattern" "$file.out"; then
      echo "$file: no line matching: $pattern"
      fail=1
    fi
  done
}
# text FILE: the text lines of FILE's dump, in order, without its control lines.
text() {
  sed -n '/^-start of message text-$/,/^-end of message text-$/p' "$1.out" |
    sed '1d;$d' | grep -v '^@' || true
}

# byte FILE OFFSET: the byte at OFFSET as two upper-case hex digits.
byte() { od -An -tx1 -j"$2" -N1 "$1" | tr -d ' \n' | tr a-f A-F; }
# diagnostics FILE: what the bytes the tosser wrote call for: the banner, a
# last byte other than NUL, and each header field whose last byte is not NUL
# (some tossers leave stack bytes after a name's NUL).
diagnostics() {
  printf 'storlook rev %s - Dump FidoNet Stored Messages\n\n' "$version"
  last=$(byte "$1" $(($(wc -c <"$1") - 1)))
  [ "$last" = 00 ] || echo "$1 !Message missing terminator ($last instead of 00)"
  for field in from:35 to:71 subj:143 time:163; do
    [ "$(byte "$1" "${field#*:}")" = 00 ] || echo "$1 Unterminated '${field%:*}' field"
  done
}

msgs=$(ls netmail/*.msg echo/*.msg)
[ "$(echo "$msgs" | wc -l)" -eq 2 ] || { echo "tossed: $msgs"; exit 1; }
for m in $msgs; do
  "$tool" -body "$m" >"$m.out" 2>"$m.err"
  diagnostics "$m" >"$m.want"
  if ! cmp -s "$m.want" "$m.err"; then
    echo "$m: diagnostics differ from what its bytes call for:"
    diff "$m.want" "$m.err" || true
    fail=1
  fi
done

n=$(ls netmail/*.msg)
expect "$n" "Opening $n" 'Subj: Meeting on Sunday' \
  'Attr: 0x[0-9A-F]\{4\} (PRIVATE, .*SENT.*)' \
  'To  : Ann Lee (2:5020/1042.0)' 'From: Bob Hart (2:5020/1043.0)' \
  'Time: [0-9][0-9] [A-Z][a-z][a-z] [0-9][0-9]  [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' \
  '@INTL 2:5020/1042 2:5020/1043' '@MSGID: 2:5020/1043.0 [0-9a-f]\{8\}'
if [ "$(text "$n")" != "$(cat net.txt)" ]; then
  echo "$n: text differs:"
  text "$n"
  fail=1
fi

e=$(ls echo/*.msg)
expect "$e" "Subj: $long_subject" 'Attr: 0x[0-9A-F]\{4\} (.*SENT.*)' \
  'To  : All (.*)' 'From: Bob Hart (.*)' '@MSGID: 2:5020/1043.0 [0-9a-f]\{8\}' \
  '@PATH: 5020/1042'
# The tosser may add SEEN-BY lines; the tear line names crashwrite's version.
got=$(text "$e" | grep -v '^SEEN-BY' | sed 's/^--- CrashWrite.*/--- CrashWrite/')
want=$(cat echo.txt; printf '%s\n' '--- CrashWrite' " * Origin: Hart's point (2:5020/1043.0)")
if [ "$got" != "$want" ]; then
  echo "$e: text differs:"
  text "$e"
  fail=1
fi

[ "$fail" -eq 0 ] && echo "interop: $(echo "$msgs" | wc -l) tossed messages dumped as written"
exit "$fail"
