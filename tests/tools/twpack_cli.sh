#!/usr/bin/env bash
# The package builder as a publisher's build uses it: help, clear errors for
# bad manifests, deterministic output, listing, publishing, table conversion.
# usage: twpack_cli.sh <twpack> <scratch folder> <test manifests folder>
set -uo pipefail
twpack="$1"; work="$2/twpack-cli"; manifests="$3"
rm -rf "$work"; mkdir -p "$work"
failures=0
check() { # check <description> <command...>: the command must succeed
  if "${@:2}" >/dev/null 2>&1; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
expect_error() { # expect_error <description> <text> <command...>: fails, saying text
  local out; out=$("${@:3}" 2>&1) && { echo "FAIL $1 (succeeded)"; failures=$((failures + 1)); return; }
  if grep -qF -- "$2" <<<"$out"; then echo "ok   $1"; else echo "FAIL $1: $out"; failures=$((failures + 1)); fi
}
manifest() { printf '%s\n' "$@" > "$work/m.manifest"; }

check "--help succeeds and names the commands" bash -c "'$twpack' --help | grep -q 'twpack build'"
expect_error "no command prints the usage" "usage:" "$twpack"
manifest "# comment" "" "bogus thing"
expect_error "unknown directive, with file and line" "m.manifest:3: unknown directive 'bogus'" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest "compressed onlyname"
expect_error "wrong number of arguments" "'compressed' takes 2 argument(s)" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest "data a.txt no-such-file.bin"
expect_error "missing input file" "cannot read" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest 'compressed x ${NOPE}'
expect_error "undefined variable" '${NOPE} is not defined' "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest 'describe "unclosed'
expect_error "unclosed quote" "unclosed quote" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest 'describe ""'
expect_error "an empty description string" "empty description string" "$twpack" build "$work/m.manifest" "$work/o.pack"
for bad in '.tw3d Model' '.a.b Tarnwick.Model' 'tw3d Tarnwick.Model' '.toolongextension17 Tarnwick.Model' \
           '.tw3d Tarnwick.Model.x' '.tw3d 3D.Model'; do
  manifest "describe register-extension $bad \"a type\""
  expect_error "register-extension $bad is refused" "is not a" "$twpack" build "$work/m.manifest" "$work/o.pack"
done
manifest 'describe register-extension .tw3d Tarnwick.Model'
expect_error "register-extension without its description" "takes an extension, a ProgID and a description" \
  "$twpack" build "$work/m.manifest" "$work/o.pack"

check "keygen makes a P-256 key pair" "$twpack" keygen "$work/feed.pem" "$work/feed.pub"
check "public-key writes 128 hex digits" bash -c "'$twpack' public-key '$work/feed.pub' '$work/feed.hex' &&
  grep -qE '^[0-9a-f]{128}$' '$work/feed.hex'"
feed() { "$twpack" feed "$work/o.feed" --key "$work/feed.pem" --product P --setup "$work/feed.pub" "$@"; }
expect_error "a feed with an http setup URL" "must be https" feed --version 2.0.0 --setup-url http://x/s.exe
expect_error "a feed whose version is none" "is not a version" feed --version 2.x --setup-url https://x/s.exe
expect_error "a feed signed with a public key" "no ECDSA P-256 private key" \
  "$twpack" feed "$work/o.feed" --key "$work/feed.pub" --product P --version 2.0.0 --setup "$work/feed.pub" \
  --setup-url https://x/s.exe

check "build is deterministic" bash -c "'$twpack' build '$manifests/Sections.manifest' '$work/a.pack' -D BIN=/ &&
  '$twpack' build '$manifests/Sections.manifest' '$work/b.pack' -D BIN=/ && cmp '$work/a.pack' '$work/b.pack'"
check "list shows entries, downloads and the total" bash -c "'$twpack' list '$work/a.pack' > '$work/list.txt' &&
  grep -q 'hello.txt  23 bytes' '$work/list.txt' && grep -q 'Icons/Icon.ico  4 bytes' '$work/list.txt' &&
  grep -q 'downloads: 2' '$work/list.txt' && grep -q 'total size (progress denominator): 29011518 bytes' '$work/list.txt'"
head -c 100 "$work/a.pack" > "$work/cut.pack"
expect_error "list of a damaged package" "the package ends inside" "$twpack" list "$work/cut.pack"

head -c 100000 /dev/urandom > "$work/program.bin"
check "publish writes the size, then zlib" bash -c "'$twpack' publish '$work/program.bin' '$work/program.body' &&
  python3 -c 'import sys,zlib,struct; b=open(sys.argv[1],\"rb\").read(); p=open(sys.argv[2],\"rb\").read();
assert struct.unpack(\"<I\", b[:4])[0] == len(p) and zlib.decompress(b[4:]) == p' '$work/program.body' '$work/program.bin'"

printf 'A=1\nB=two words\r\nC=\nD=\xc3\xa9\n' > "$work/t.txt"
check "nls writes UTF-16LE lines with CR LF and no mark" bash -c "'$twpack' nls '$work/t.txt' '$work/t.bin' &&
  python3 -c 'import sys; d=open(sys.argv[1],\"rb\").read(); assert d == \"A=1\r\nB=two words\r\nC=\r\nD=\u00e9\r\n\".encode(\"utf-16-le\"), d' '$work/t.bin'"
check "publish prints the program's SHA-256" bash -c "'$twpack' publish '$work/program.bin' '$work/p2.body' |
  grep -qx \"sha256 \$(sha256sum '$work/program.bin' | cut -c1-64)\""
digest=$(sha256sum "$work/program.bin" | cut -c1-64)
manifest "download %program%/A.exe https://h/a 100000 sha256-of=program.bin" \
         "download %data%/B.TWP https://h/b 10 sha256=${digest^^}" "download %data%/C.TWP https://h/c 10"
check "download with a digest, given or computed; list shows both" bash -c "'$twpack' build '$work/m.manifest' '$work/d.pack' &&
  '$twpack' list '$work/d.pack' > '$work/d.txt' && grep -q 'downloads: 3' '$work/d.txt' &&
  grep -q 'sha256 of %program%/A.exe: $digest' '$work/d.txt' && grep -q 'sha256 of %data%/B.TWP: ${digest^^}' '$work/d.txt' &&
  [ \$(grep -c 'sha256 of' '$work/d.txt') = 2 ]"
manifest "download %program%/A.exe https://h/a 10 sha256=abc"
expect_error "a digest that is not 64 hexadecimal digits" "'abc' is not 64 hexadecimal digits" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest "download %program%/A.exe https://h/a 10 md5=abc"
expect_error "an unknown download option" "expected sha256=<hex> or sha256-of=<file>" "$twpack" build "$work/m.manifest" "$work/o.pack"
manifest "download %program%/A.exe https://h/a"
expect_error "a download without its size" "'download' takes a target, a URL, a size" "$twpack" build "$work/m.manifest" "$work/o.pack"

manifest "download %program%/A.exe https://h/a 100000 sha256-of=program.bin blocks" "version 2.10.0.7"
check "blocks names the map that publish writes; version is a keyword" bash -c "'$twpack' build '$work/m.manifest' '$work/v.pack' &&
  '$twpack' list '$work/v.pack' > '$work/v.txt' && grep -qx '  download-blocks' '$work/v.txt' &&
  grep -qx \"  \$(sha256sum '$work/program.body.blocks' | cut -c1-64)\" '$work/v.txt' && grep -qx '  2.10.0.7' '$work/v.txt'"
for bad in 1.2.3.4.5 1..2 123456 v1; do
  manifest "version $bad"
  expect_error "version $bad is refused" "is not a version" "$twpack" build "$work/m.manifest" "$work/o.pack"
done
manifest "download %program%/A.exe https://h/a 10 sha256=$digest blocks"
expect_error "blocks needs the program itself" "the latter optionally followed by 'blocks'" "$twpack" build "$work/m.manifest" "$work/o.pack"

printf 'A=1\nB=x=y\n' > "$work/bad.txt"
expect_error "nls refuses a line with two '='" "line 2" "$twpack" nls "$work/bad.txt" "$work/bad.bin"

[ "$failures" -eq 0 ] && echo "all package builder checks passed" || { echo "$failures failed"; exit 1; }
