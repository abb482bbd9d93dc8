#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The HTML archive as a reader sees it: written by quillbox-cli, opened in headless Chromium,
# and checked in the document the browser built from it.
set -uo pipefail

cli=$1
browser=${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}
if [ -z "$browser" ]; then
    # CTest counts 77 as skipped and shows this line as the reason.
    echo "html in browser: skipped, no chromium found (scripts/install-deps browser installs it)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
    fi
}

# message FILE NUMBER DATE BODY: a message file as a phone saves it, UTF-16LE with LF line ends.
message() {
    mkdir -p "$(dirname "$1")"
    printf 'BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\nTEL:%s\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\nDate:%s\n%s\nEND:VBODY\nEND:VENV\nEND:VMSG\n' \
        "$2" "$3" "$4" | iconv -f UTF-8 -t UTF-16LE >"$1"
}

message "$work/in/m/1.vmg" "+8613912345678" "18.03.2009 10:15:30" $'你好，张三\n第二行'
message "$work/in/m/2.vmg" "13912345678" "17.03.2009 09:00:00" "<script>document.title='pwned'</script>"
message "$work/in/m/3.vmg" "10086" "01.02.2009 08:00:00" "a<b & c>d"
mkdir -p "$work/in/c"
printf 'BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=89\r\nTEL;CELL:13912345678\r\nEND:VCARD\r\n' \
    >"$work/in/c/zhang.vcf"

"$cli" -m "$work/in/m" -c "$work/in/c" -s sender --html -o "$work/archive.html" >/dev/null
check "archive written" $?

"$browser" --headless --no-sandbox --disable-gpu --disable-background-networking --disable-quic \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/profile" \
    --virtual-time-budget=2000 --dump-dom "file://$work/archive.html" \
    >"$work/dom.html" 2>"$work/browser.log"
check "browser ran" $?

dom=$(cat "$work/dom.html")
count() { grep -o -F "$1" <<<"$dom" | wc -l; }

[[ $dom == *"发信人：张三"* ]]; check "GBK heading decoded through the gb2312 label" $?
[[ $dom == *"你好，张三"* ]]; check "GBK body decoded" $?
[ "$(count '<font size="5" color="#00ff00">')" -eq 2 ]; check "one heading per sender" $?
[ "$(count '<div style="margin-left: 10px">')" -eq 3 ]; check "one entry per message" $?
[[ $dom == *"<title>Messages</title>"* ]]; check "a message's script did not run" $?
[[ $dom == *"&lt;script&gt;document.title='pwned'&lt;/script&gt;"* ]]; check "markup shows as text" $?
[[ $dom == *"a&lt;b &amp; c&gt;d"* ]]; check "angle brackets and ampersands show as text" $?
[[ $dom == *"你好，张三<br>第二行"* ]]; check "a line break in a body is a line break" $?
[[ $dom == *"张三 &lt;13912345678&gt;"* ]]; check "name and number" $?

if [ "$failed" -ne 0 ]; then
    echo "--- document the browser built:"
    cat "$work/dom.html"
    echo "--- browser log:"
    tail -20 "$work/browser.log"
fi
echo "html in browser: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
