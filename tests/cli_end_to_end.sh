#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quillbox-cli as a user runs it: exit codes, the messages it prints, and the archives it
# writes for the sample folders, compared byte for byte with archives checked by hand.
set -uo pipefail

cli=$1
examples=$2
expected=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {  # check NAME CONDITION-RESULT
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
    fi
}

# run ARGS...: sets status, out and err.
run() {
    "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
    status=$?
    out=$(cat "$work/stdout")
    err=$(cat "$work/stderr")
}

run --help
check "help exits 0" $((status != 0))
[[ $out == *--messages* && $out == *--recurse-contacts* ]]; check "help lists the options" $?

run --version
[[ $status -eq 0 && $out == "quillbox-cli 1.0.0.1" ]]; check "version" $?

run
[[ $status -eq 2 && $err == "信息路径不能为空！" && -z $out ]]; check "no message folder" $?

run --output "$work/x.txt"
[[ $status -eq 2 && $err == "信息路径不能为空！" ]]; check "message folder checked first" $?

run --messages "$examples/messages"
[[ $status -eq 2 && $err == "输出路径不能为空！" ]]; check "no output file" $?

# A usage error is one line, then the way to the help.
try_help="Try 'quillbox-cli --help'."
run --messages "$examples/messages" --output "$work/x.txt" --sort name
[[ $status -eq 2 && $err == "quillbox-cli: "*name*$'\n'"$try_help" && -z $out ]]
check "bad sort order" $?

run --frobnicate
[[ $status -eq 2 && $err == "quillbox-cli: "*--frobnicate*$'\n'"$try_help" ]]; check "unknown option" $?

run -m "$examples/messages" -o "$work/x.txt" -v -q
[[ $status -eq 2 && $err == "quillbox-cli: "*--verbose*--quiet*$'\n'"$try_help" ]]
check "verbose and quiet together" $?

run -m "$examples/messages" -o - --report=-
[[ $status -eq 2 && $err == *--report=-*$'\n'"$try_help" && -z $out ]]; check "two things on stdout" $?

run -m "$examples/messages" -o "$work/x.txt" -- stray
[[ $status -eq 2 && $err == *"'stray'"*$'\n'"$try_help" ]]; check "an operand after --" $?
[ ! -e "$work/x.txt" ]; check "usage errors write nothing" $?

run --messages "$work/absent" --output "$work/x.txt"
[[ $status -eq 1 && $err == *文档生成失败！* && $err == *"$work/absent"* && -z $out ]]
check "message folder missing" $?
run --messages "$examples/messages" --contacts "$work/absent" --output "$work/x.txt"
[[ $status -eq 1 && $err == *文档生成失败！* && $err == *"$work/absent"* ]]
check "contacts folder missing" $?
[ ! -e "$work/x.txt" ]; check "a missing folder writes nothing" $?

run --messages "$examples/messages" --output "$work/absent/x.txt"
[[ $status -eq 1 && $err == *文档生成失败！* && $err == *"No such file or directory"* && -z $out ]]
check "output folder missing" $?
[ ! -e "$work/absent" ]; check "nothing created for a missing folder" $?

run --messages "$examples/messages" --output /dev/full
[[ $status -eq 1 && $err == *文档生成失败！* && $err == *"No space left on device"* ]]; check "full disk" $?

run --messages "$examples/messages" --output "$work"
[[ $status -eq 1 && $err == *文档生成失败！* && $err == *"Is a directory"* ]]; check "output is a folder" $?

if [ -d /sys ]; then
    run --messages "$examples/messages" --output /sys/quillbox-test.txt
    [[ $status -eq 1 && $err == *"Permission denied"* ]]; check "folder refusing new files" $?
fi

# Any name the system takes is written, in code page 936 or not, UTF-8 or not.
run --messages "$examples/messages" --output "$work/smile-😀.txt"
[[ $status -eq 0 && -s "$work/smile-😀.txt" && -z $out ]]; check "path outside code page 936" $?

run --messages "$examples/messages" --output "$work/"$'\xff.txt'
[[ $status -eq 0 && -s "$work/"$'\xff.txt' ]]; check "path that is not UTF-8" $?

for order in sender date; do
    for form in txt html; do
        html=()
        [ "$form" = html ] && html=(--html)
        name="messages-by-$order.$form"
        run -m "$examples/messages" -r -c "$examples/contacts" -R -s "$order" "${html[@]}" \
            -o "$work/$name"
        [[ $status -eq 0 && -z $out && $err == "文档生成完毕！"$'\n'"已读取 "*"$work/$name" ]]
        check "$name: success" $?
        if cmp "$expected/$name" "$work/$name"; then
            check "$name: archive" 0
        else
            check "$name: archive" 1
        fi
    done
done

# The archive on standard output, and nothing else there.
run -m "$examples/messages" -r -c "$examples/contacts" -R -s date -o -
[[ $status -eq 0 && $err == *文档生成完毕！* ]] && cmp -s "$expected/messages-by-date.txt" "$work/stdout"
check "archive on standard output" $?

# Quiet says nothing on success; verbose names each file skipped; the report is JSON.
run -q -m "$examples/messages" -o "$work/quiet.txt"
[[ $status -eq 0 && -z $out && -z $err && -s "$work/quiet.txt" ]]; check "quiet" $?
run -v -m "$examples/messages" -o "$work/verbose.txt"
[[ $status -eq 0 && -z $out && $err == *"跳过 $examples/messages/damaged.vmg："* ]]; check "verbose" $?
# A name reaches the terminal escaped: it can neither act on it nor forge a line of ours.
mkdir -p "$work/hostile"
: >"$work/hostile/"$'a\e]0;x\a\n文档生成完毕！\u202e.vmg'
run -v -m "$work/hostile" -o "$work/hostile.txt"
[[ $status -eq 0 && $err == *'跳过 '*'/a\x1b]0;x\x07\x0a文档生成完毕！\u202e.vmg：'* &&
   $(grep -c '^文档生成完毕！' <<<"$err") -eq 1 && $err != *$'\e'* && $err != *$'\u202e'* ]]
check "names escaped for the terminal" $?
# Blocks are counted apart from files: a run of cut blocks is one line and one range.
mkdir -p "$work/blocks"
printf 'BEGIN:VMSG\nBEGIN:VCARD\nTEL:10086\nEND:VCARD\nBEGIN:VBODY\nDate:2009/03/18 10:00:00\nhello\nEND:VBODY\nEND:VMSG\n%s' \
    "$(printf 'BEGIN:VMSG\n%.0s' 1 2 3)" >"$work/blocks/a.vmsg"
: >"$work/blocks/b.vmsg"
run -v --modern -m "$work/blocks" -o "$work/blocks.txt" --report "$work/blocks.json"
[[ $status -eq 0 && $err == *"/a.vmsg 中第 2–4 块："* && $err == *"（跳过 1 个文件、3 条）"* &&
   $(cat "$work/blocks.json") == *'"reason": "cut", "index": 1, "count": 3}'* ]]
check "blocks and files skipped, apart" $?
run -m "$examples/messages" -o "$work/x.txt" --report "$work/report.json"
[[ $status -eq 0 && -z $out && $(cat "$work/report.json") == '{"ok": true,'*'"no-tel-line"'* ]]
check "report file" $?
run -q -m "$examples/messages" -o "$work/x.txt" --report=-
[[ $status -eq 0 && -z $err && $out == '{"ok": true,'* ]]; check "report on standard output" $?
run -m "$work/absent" -o "$work/y.txt" --report "$work/failed.json"
[[ $status -eq 1 && $(cat "$work/failed.json") == *'"stage": "message-folder-missing"'* ]]
check "report of a failed run" $?

# A Chinese folder name, given with a trailing separator, is the same folder.
cp -r "$examples" "$work/样例"
run -m "$work/样例/messages/" -r -c "$work/样例/contacts/" -R -s date -o "$work/输出.txt"
[ $status -eq 0 ] && cmp -s "$expected/messages-by-date.txt" "$work/输出.txt"
check "Chinese paths and trailing separators" $?

# An existing archive is replaced, and the inputs are only read.
before=$(cd "$work/样例" && find . -type f -exec sha256sum {} + | sort)
head -c 100000 /dev/zero >"$work/old.txt"
run -m "$work/样例/messages" -s date -o "$work/old.txt"
[[ $status -eq 0 && $(wc -c <"$work/old.txt") -lt 100000 ]]; check "existing archive replaced" $?
after=$(cd "$work/样例" && find . -type f -exec sha256sum {} + | sort)
[ "$before" = "$after" ]; check "inputs unchanged" $?

# Today's exports in a classic run: the summary names the option that reads them.
mkdir -p "$work/exports"
cp "$examples/messages/top.vmg" "$work/exports/"
: >"$work/exports/sms-20231115.xml"
run -m "$work/exports" -o "$work/exports.txt"
[[ $status -eq 0 && $err == *$'\n'"有 1 个文件是新式导出，请加上 --modern（读取新式导出）后再生成" ]]
check "hint at today's exports" $?
run --modern -m "$work/exports" -o "$work/exports.txt"
[[ $status -eq 0 && $err != *新式导出* ]]; check "no hint with --modern" $?

# On a terminal a line shows the run alive, rewritten in place and gone before the summary;
# none with --quiet, none when standard error is a file (every run above).
on_terminal() {
    script -qec "$(printf '%q ' "$cli" "$@")" /dev/null </dev/null
}
shown=$(on_terminal -m "$examples/messages" -r -o "$work/terminal.txt")
[[ $shown == $'\r正在读取'* && $shown == *$'\r'*"文档生成完毕！"* && $shown != *$'\n'*正在读取* ]]
check "progress on a terminal" $?
shown=$(on_terminal -q -m "$examples/messages" -r -o "$work/terminal.txt")
[[ -z $shown ]]; check "no progress with --quiet" $?
[[ $err != *正在* ]]; check "no progress into a file" $?

echo "cli end to end: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
