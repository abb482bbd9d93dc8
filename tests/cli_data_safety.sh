#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quillbox-cli against an unlucky machine and a careless user: a full disk, a size limit, a
# protected archive, mistyped folders, standard output and a run report. After each failure the
# old archive is exactly as it was, and the exit code and the message say what happened.
set -uo pipefail

cli=$1
examples=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
passed=0
failed=0

check() {  # check NAME CONDITION-RESULT
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
        echo "  status=$status"
        echo "  stderr: $err"
    fi
}

run() {  # run ARGS...: sets status, out and err
    "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
    status=$?
    out=$(cat "$work/stdout")
    err=$(cat "$work/stderr")
}

old="last year's archive"
reset_old() { printf '%s' "$old" >"$work/old.txt"; }
old_intact() { [ "$(cat "$work/old.txt")" == "$old" ]; }
no_leftovers() { ! compgen -G "$work/.old.txt.quillbox-*" >/dev/null; }
msgs=(-m "$examples/messages" -c "$examples/contacts" -r -R)

"$cli" "${msgs[@]}" -q -o "$work/reference.txt"
status=$? err=""
check "reference run" $status

# Standard output carries the archive and nothing else.
run "${msgs[@]}" -o -
[[ $status -eq 0 && $err == *文档生成完毕！* ]]; check "-o - succeeds" $?
cmp -s "$work/stdout" "$work/reference.txt"; check "-o - gives the bytes of a file run" $?
run "${msgs[@]}" -o /dev/stdout
cmp -s "$work/stdout" "$work/reference.txt"; check "/dev/stdout holds only the archive" $?
printf 'log line\n' >"$work/log"
"$cli" "${msgs[@]}" -q -o /dev/stdout >>"$work/log"
[[ $(head -c 9 "$work/log") == "log line" && $(stat -c %s "$work/log") -eq $(($(stat -c %s "$work/reference.txt") + 9)) ]]
status=$? err=""; check "-o /dev/stdout >> log appends" $status

# A closed pipe is a write error, reported.
run_closed() { "$cli" "${msgs[@]}" -o - 2>"$work/stderr" | true; status=${PIPESTATUS[0]}; err=$(cat "$work/stderr"); }
for _ in 1 2 3; do
    # The reader may go before the first write: big enough that the pipe fills.
    "$cli" "${msgs[@]}" -o - 2>"$work/stderr" >&- ; status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *文档生成失败！* ]]; check "a closed standard output fails" $?
    break
done

# Mistyped folders: exit 1, the reason, and the old archive untouched.
for args in "-m $work/nope" "-m $work/old.txt" "-m $examples/messages -c $work/nope" \
            "-m $examples/messages -c $work/old.txt"; do
    reset_old
    # shellcheck disable=SC2086
    run $args -o "$work/old.txt"
    [[ $status -eq 1 && $err == *文档生成失败！* && $err == *目录* ]]; check "refused: $args" $?
    old_intact; check "old archive kept: $args" $?
done

# Output = input.
cp -r "$examples/messages" "$work/msgs"
first=$(find "$work/msgs" -name '*.vmg' | head -1)
before=$(md5sum <"$first")
ln -s "$first" "$work/link.txt"
for output in "$first" "$work/link.txt"; do
    run -m "$work/msgs" -r -o "$output"
    [[ $status -eq 1 && $err == *输入文件* ]]; check "output is an input: $output" $?
    [ "$(md5sum <"$first")" == "$before" ]; check "input untouched: $output" $?
done

# A size limit: the process does not die of SIGXFSZ, it reports and keeps the old archive.
reset_old
(ulimit -f 1; "$cli" "${msgs[@]}" -o "$work/old.txt" >"$work/stdout" 2>"$work/stderr")
status=$?; err=$(cat "$work/stderr")
[[ $status -eq 1 && $err == *文档生成失败！* ]]; check "file-size limit" $?
old_intact && no_leftovers; check "size limit keeps the old archive" $?

run "${msgs[@]}" -o /dev/full
[[ $status -eq 1 && $err == *"No space left on device"* ]]; check "/dev/full" $?

# A full disk for the temporary file: a small tmpfs in a private mount namespace.
if unshare -m true 2>/dev/null; then
    mkdir -p "$work/full"
    unshare -m bash -c '
        mount -t tmpfs -o size=8k tmpfs "$1" || exit 77
        printf "%s" "$2" >"$1/old.txt"
        cat /dev/zero >"$1/filler" 2>/dev/null
        "$3" -m "$4/messages" -c "$4/contacts" -r -R -o "$1/old.txt" 2>"$5"
        status=$?
        [ "$(cat "$1/old.txt")" == "$2" ] || exit 3
        ls -A "$1" | grep -q quillbox && exit 4
        grep -q "No space left" "$5" || exit 5
        exit $status' _ "$work/full" "$old" "$cli" "$examples" "$work/full-err"
    status=$? err=""
    [[ $status -eq 1 || $status -eq 77 ]]; check "full tmpfs keeps the old archive ($status)" $?
else
    echo "SKIPPED: no private mount namespace"
fi

# As a user who may not write: a protected archive and a folder that takes no new file.
nobody=$(id -u nobody 2>/dev/null || true)
if [ "$(id -u)" -eq 0 ] && [ -n "$nobody" ] && command -v setpriv >/dev/null; then
    as_nobody() { setpriv --reuid="$nobody" --regid="$nobody" --clear-groups "$@"; }
    mkdir -p "$work/user"
    cp -r "$examples" "$work/user/in"
    printf '%s' "$old" >"$work/user/old.txt"
    chmod 444 "$work/user/old.txt"
    chown -R "$nobody" "$work/user"
    as_nobody "$cli" -m "$work/user/in/messages" -o "$work/user/old.txt" >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *不允许写入* && $(cat "$work/user/old.txt") == "$old" ]]
    check "write-protected archive" $?
    chmod 644 "$work/user/old.txt"
    chmod 555 "$work/user"
    as_nobody "$cli" -m "$work/user/in/messages" -o "$work/user/old.txt" >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *临时文件* && $err == *"$work/user"* && $(cat "$work/user/old.txt") == "$old" ]]
    check "folder that takes no temporary file" $?
    chmod 755 "$work/user"
else
    echo "SKIPPED: not root, or no setpriv/nobody"
fi

# The report, in JSON, beside the archive or on standard output.
run "${msgs[@]}" -o "$work/a.txt" --report "$work/report.json"
json=$(cat "$work/report.json")
[[ $status -eq 0 && $json == '{"ok": true, "messages": {"found": 10, "read": 9, "skipped": [{"path": "'*'damaged.vmg", "reason": "no-tel-line"}]}, "cards": {"found": 4, "read": 4, "skipped": [], "entries": '* ]]
check "report on success" $?
[[ $json == *'"archive": {"path": "'"$work/a.txt"'", "bytes": '$(stat -c %s "$work/a.txt")', "entries": 9}}' ]]
check "report names the archive" $?
run -m "$work/nope" -o "$work/b.txt" --report=-
[[ $status -eq 1 && $out == '{"ok": false,'*'"error": {"stage": "message-folder-missing"'* ]]; check "report on failure" $?
run "${msgs[@]}" -o - --report=-
[[ $status -eq 2 && $err == *"Try 'quillbox-cli --help'."* ]]; check "two things on stdout is a usage error" $?

# Command-line conventions.
run "${msgs[@]}" -o "$work/c.txt" -v
[[ $status -eq 0 && $err == *跳过*damaged.vmg*没有\ TEL:\ 行* && $err == *已读取\ 9\ 条信息（跳过\ 1\ 个文件）* ]]
check "--verbose lists the skipped file" $?
run "${msgs[@]}" -o "$work/c.txt" -q
[[ $status -eq 0 && -z $err && -z $out ]]; check "--quiet says nothing" $?
run "${msgs[@]}" -o "$work/c.txt" -q -v
[[ $status -eq 2 && $(wc -l <"$work/stderr") -eq 2 ]]; check "--quiet with --verbose" $?
run -rR "--messages=$examples/messages" "--contacts=$examples/contacts" -q -o "$work/d.txt" --
[[ $status -eq 0 ]] && cmp -s "$work/d.txt" "$work/reference.txt"; check "bundled and = forms" $?
mkdir -p "$work/-x"
run --messages=-x -o "$work/e.txt"
[[ $status -eq 1 && $err == *信息目录不存在*-x* ]]; check "a value that starts with -" $?
(cd "$work" && "$cli" -m ./-x -o e.txt -q); status=$? err=""
check "./-x as a folder" $status

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
