#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The golden corpora through the command line, compared byte for byte with the committed
# archives: the classic corpus in all four forms, and today's exports (--modern) in each
# encoding and each form. UPDATE_GOLDEN=1 writes the archives instead (only where the bytes are
# meant to change).
# compare_golden.sh CLI GENERATOR GOLDEN_DIR WORK_DIR
set -uo pipefail
cli=$1
generator=$2
golden=$3
work=$4

rm -rf "$work"
mkdir -p "$work"
"$generator" "$work/corpus" >/dev/null || { echo "FAILED: the generator"; exit 1; }

failed=0
# compare NAME CLI-OPTION...: the archive of the options against the committed one, and the same
# bytes on one thread and on seven.
compare() {
    local name=$1
    shift
    if ! "$cli" -q "$@" -o "$work/$name" >/dev/null; then
        echo "FAILED: $name: the run failed"
        failed=1
        return
    fi
    if [ -n "${UPDATE_GOLDEN:-}" ]; then
        cp "$work/$name" "$golden/$name"
        return
    fi
    if ! cmp -s "$golden/$name" "$work/$name"; then
        failed=1
        echo "FAILED: $name differs from $golden/$name"
        cmp "$golden/$name" "$work/$name"
        # The HTML archive is one line: show the bytes around the first difference.
        offset=$(cmp "$golden/$name" "$work/$name" 2>/dev/null | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
        if [ -n "$offset" ]; then
            from=$((offset > 80 ? offset - 80 : 1))
            for side in golden now; do
                file=$golden/$name
                [ "$side" = now ] && file=$work/$name
                printf '%-6s from byte %s: %s\n' "$side" "$from" \
                    "$(tail -c +"$from" "$file" | head -c 240 | iconv -f GB18030 -t UTF-8 -c | tr '\r\n' '^$')"
            done
        fi
    fi
    for jobs in 1 7; do
        "$cli" -q -j "$jobs" "$@" -o "$work/$name.j$jobs"
        if ! cmp -s "$work/$name" "$work/$name.j$jobs"; then
            failed=1
            echo "FAILED: $name with --jobs $jobs differs from the default run"
        fi
    done
}

for order in sender date; do
    for form in txt html; do
        html=()
        [ "$form" = html ] && html=(--html)
        compare "$order.$form" -m "$work/corpus/messages" -r -c "$work/corpus/cards" -R \
            -s "$order" "${html[@]}"
    done
done

"$generator" --modern "$work/modern" >/dev/null || { echo "FAILED: the modern generator"; exit 1; }
for encoding in gbk gb18030 utf-8; do
    for form in txt html page.html; do
        options=()
        [ "$form" = html ] && options=(--html)
        [ "$form" = page.html ] && options=(--page modern)
        orders=(sender)
        [ "$encoding" = utf-8 ] && orders=(sender date)
        for order in "${orders[@]}"; do
            suffix=""
            [ "$order" = date ] && suffix=.date
            compare "modern.$encoding$suffix.$form" --modern -m "$work/modern/messages" -r \
                -c "$work/modern/cards" -R -s "$order" --encoding "$encoding" "${options[@]}"
        done
    done
done
if [ "$failed" -eq 0 ]; then
    [ -n "${UPDATE_GOLDEN:-}" ] && echo "golden: the archives written" ||
        echo "golden: the archives match"
fi
exit "$failed"
