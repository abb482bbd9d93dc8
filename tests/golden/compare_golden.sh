#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The golden corpus through the command line in all four forms, compared byte for byte with the
# committed archives. UPDATE_GOLDEN=1 writes the archives instead (only where the bytes are
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
for order in sender date; do
    for form in txt html; do
        html=()
        [ "$form" = html ] && html=(--html)
        name=$order.$form
        if ! "$cli" -q -m "$work/corpus/messages" -r -c "$work/corpus/cards" -R -s "$order" \
            "${html[@]}" -o "$work/$name" >/dev/null; then
            echo "FAILED: $name: the run failed"
            failed=1
            continue
        fi
        if [ -n "${UPDATE_GOLDEN:-}" ]; then
            cp "$work/$name" "$golden/$name"
            continue
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
                        "$(tail -c +"$from" "$file" | head -c 240 | iconv -f GBK -t UTF-8 -c | tr '\r\n' '^$')"
                done
            fi
        fi
        # One thread or seven: the same bytes.
        for jobs in 1 7; do
            "$cli" -q -j "$jobs" -m "$work/corpus/messages" -r -c "$work/corpus/cards" -R \
                -s "$order" "${html[@]}" -o "$work/$name.j$jobs"
            if ! cmp -s "$work/$name" "$work/$name.j$jobs"; then
                failed=1
                echo "FAILED: $name with --jobs $jobs differs from the default run"
            fi
        done
    done
done
if [ "$failed" -eq 0 ]; then
    [ -n "${UPDATE_GOLDEN:-}" ] && echo "golden: the four archives written" ||
        echo "golden: the four archives match"
fi
exit "$failed"
