#!/usr/bin/env bash
# morvik-feed as a maker uses it: keys, releases, signing and verifying a folder, each refusal
# with its reason. The signature is also checked by the openssl command, apart from our code.
#   feed_tool_test.sh MORVIK_FEED E2E_LIBRARY
set -uo pipefail
tool=$(realpath "$1")
source "$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
wrong=0
expect() {  # <what> <wanted status> <wanted text> <command...>
  local what=$1 status=$2 text=$3
  shift 3
  out=$("$@" 2>&1)
  local got=$?
  if [ "$got" != "$status" ] || ! text_has "$out" "$text"; then
    echo "FAILED: $what: status $got (wanted $status), output:"; echo "$out" | sed 's/^/  /'
    wrong=$((wrong + 1))
  fi
}
notes=(--notes-en "Fixes the D-pad." --notes-zh "修复方向键。")

expect "keygen" 0 "Key id: " "$tool" keygen maker.pem
id=$(sed -n 's/^Key id: //p' <<<"$out")
expect "the private key is its owner's alone" 0 "600" stat -c %a maker.pem
expect "the key id is the SPKI's digest" 0 "${id:-none}" \
  bash -c 'openssl pkey -pubin -in maker.pub.pem -outform DER | sha256sum | cut -c1-16'
cp maker.pem maker.before
expect "keygen never writes over a key" 1 "File exists" "$tool" keygen maker.pem
expect "... and the key stays" 0 "" cmp maker.pem maker.before
"$tool" keygen other.pem >/dev/null

make_image 110 0x11223344 4096 pad-1.10.dat
make_image 123 0x11223344 4096 pad-1.23.dat
make_image 124 0x11223344 0 empty-1.24.dat
make_image 125 0x11223344 64 'bad name.dat'
make_image 126 0x11223344 64 pad-1.26.dat
expect "add" 0 "Added version 1.10" "$tool" add site pad-1.10.dat "${notes[@]}" --urgency low
expect "add another" 0 "Added version 1.23" "$tool" add site pad-1.23.dat "${notes[@]}" --date 2026-11-28
expect "a version twice" 1 "already lists version 1.23" "$tool" add site pad-1.23.dat "${notes[@]}"
expect "an image the engine refuses" 1 "cannot add empty-1.24.dat" "$tool" add site empty-1.24.dat "${notes[@]}"
expect "a name that is not plain" 1 "not a plain file name" "$tool" add site 'bad name.dat' "${notes[@]}"
expect "an unknown urgency" 1 "--urgency is" "$tool" add site pad-1.26.dat "${notes[@]}" --urgency soon
expect "no notes" 2 "needs --notes-en" "$tool" add site pad-1.10.dat --notes-en x
expect "the image is copied" 0 "" cmp site/pad-1.23.dat pad-1.23.dat

expect "sign needs a key" 2 "sign needs --key" "$tool" sign site
expect "a public key cannot sign" 1 "is not a P-256 private key" "$tool" sign site --key maker.pub.pem
expect "sign" 0 "serial 1, 2 releases" "$tool" sign site --key maker.pem --expires 7
expect "verify" 0 "The feed and every image verified." "$tool" verify site --key maker.pub.pem
text_has "$out" "signed by key $id, serial 1" || { echo "FAILED: verify names the key and serial"; wrong=$((wrong + 1)); }
expect "verify a file URL" 0 "every image verified" "$tool" verify "file://$dir/site" --key maker.pub.pem

# openssl verifies the same bytes with the r||s signature turned into DER.
der_integer() {  # <hex>: an ASN.1 INTEGER, without leading zeros, positive
  local h=$1
  while [ "${h:0:2}" = 00 ] && ((${#h} > 2)); do h=${h:2}; done
  ((0x${h:0:2} >= 0x80)) && h=00$h
  printf '02%02x%s' $((${#h} / 2)) "$h"
}
raw=$(sed -n 's/.*"signature": "\(.*\)".*/\1/p' site/feed.json.sig | base64 -d | xxd -p -c 64)
body=$(der_integer "${raw:0:64}")$(der_integer "${raw:64:64}")
printf '30%02x%s' $((${#body} / 2)) "$body" | xxd -r -p >sig.der
expect "openssl verifies the signature" 0 "Verified OK" \
  openssl dgst -sha256 -verify maker.pub.pem -signature sig.der site/feed.json

expect "another maker's key" 1 "signed by a key that is not trusted" "$tool" verify site --key other.pub.pem
expect "no key at all" 1 "trusts no feed key" "$tool" verify site
expect "plain http to another machine" 1 "plain http to another machine" "$tool" verify http://example.com/feed
printf '\x01' | dd of=site/pad-1.23.dat bs=1 seek=100 conv=notrunc status=none
expect "a changed image" 1 "REFUSED: pad-1.23.dat: the image's SHA-256 is not the one the feed gives" \
  "$tool" verify site --key maker.pub.pem
expect "an image changed is never signed" 1 "SHA-256 is not the one" "$tool" sign site --key maker.pem
cp pad-1.23.dat site/
expect "signing again raises the serial" 0 "serial 2" "$tool" sign site --key maker.pem
sed -i 's/Fixes/Breaks/' site/feed.json
expect "a changed feed" 1 "signature does not verify" "$tool" verify site --key maker.pub.pem
expect "adding drops the signature of the old list" 0 "Added version 1.25" \
  bash -c "cp pad-1.23.dat new-1.25.dat && printf '\x7d' | dd of=new-1.25.dat bs=1 conv=notrunc status=none &&
           $tool add site new-1.25.dat --notes-en a --notes-zh b && ! test -e site/feed.json.sig"

((wrong == 0)) && echo "morvik-feed: all checks passed"
exit $((wrong > 0))
