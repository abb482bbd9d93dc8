#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quillbox-cli against an unlucky machine and a careless user: a full disk, a size limit, a
# protected archive, mistyped folders, standard output and a run report. After each failure the
# old archive is exactly as it was, and the exit code and the message say what happened.
set -uo pipefail

cli=$1
examples=$2
fsync_interposer=${3:-}

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
    # A folder where anyone may make files but only their owners rename over them: the
    # temporary file is made, the rename is refused, and the temporary file goes.
    mkdir -p "$work/sticky"
    chmod 1777 "$work/sticky"
    printf '%s' "$old" >"$work/sticky/old.txt"
    chmod 666 "$work/sticky/old.txt"
    as_nobody "$cli" -m "$work/user/in/messages" -o "$work/sticky/old.txt" >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *无法替换输出文件* && $(cat "$work/sticky/old.txt") == "$old" ]]
    check "a rename refused keeps the old archive" $?
    ! ls -A "$work/sticky" | grep -q quillbox; check "a rename refused leaves no temporary file" $?
    # The same for the report alone: the archive is in place, the report is not (exit 3).
    as_nobody "$cli" -m "$work/user/in/messages" -o "$work/sticky/new.txt" \
        --report "$work/sticky/old.txt" >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 3 && $err == *文档已写入* && -s "$work/sticky/new.txt" && $(cat "$work/sticky/old.txt") == "$old" ]]
    check "a report that cannot be put in place: exit 3" $?
else
    echo "SKIPPED: not root, or no setpriv/nobody"
fi

# A disk whose flushes fail: the run fails as for a failed write, the old archive stays.
interposed() {  # interposed MODE ARGS...: the program with fsync interposed
    ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0 LD_PRELOAD=$fsync_interposer \
        FSYNC_INTERPOSER=$1 "${@:2}"
}
if [ -n "$fsync_interposer" ]; then
    reset_old
    interposed fail "$cli" "${msgs[@]}" -o "$work/old.txt" --report "$work/fsync.json" \
        >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *无法写入输出文件* ]]; check "a failed fsync fails the run" $?
    old_intact && no_leftovers; check "a failed fsync keeps the old archive" $?

    # Stopped after its last write, before its rename (SIGINT, SIGTERM, SIGHUP): the temporary
    # file goes, the old archive stays. A flush that takes its time holds the run there.
    for signal in INT TERM HUP; do
        reset_old
        # A job started with & has SIGINT ignored; the run is given its default back. exec:
        # the signal goes to the run itself.
        (exec env ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
            LD_PRELOAD="$fsync_interposer" FSYNC_INTERPOSER=pause --default-signal=INT \
            "$cli" "${msgs[@]}" -o "$work/old.txt" 2>/dev/null) &
        pid=$!
        # Generous on a loaded machine: the loop ends as soon as the file is there.
        for _ in $(seq 3000); do
            compgen -G "$work/.old.txt.quillbox-*" >/dev/null && break
            sleep 0.01
        done
        compgen -G "$work/.old.txt.quillbox-*" >/dev/null
        seen=$?
        kill -s "$signal" $pid
        wait $pid
        [[ $seen -eq 0 ]] && old_intact && no_leftovers
        status=$? err=""
        check "SIG$signal before the rename removes the temporary file" $status
    done
fi

# Archive folders (--split): a failed flush keeps the old folder whole and leaves nothing beside
# it; a folder of the user's is refused untouched; an old folder holding other files is kept
# aside, and the summary says where.
"$cli" "${msgs[@]}" --split -q -o "$work/folder"
cp -r "$work/folder" "$work/folder-before"
if [ -n "$fsync_interposer" ]; then
    interposed fail "$cli" "${msgs[@]}" --split --html -o "$work/folder" >/dev/null 2>"$work/stderr"
    status=$?; err=$(cat "$work/stderr")
    [[ $status -eq 1 && $err == *无法写入输出文件* ]]; check "--split: a failed flush fails the run" $?
    diff -r "$work/folder" "$work/folder-before" >/dev/null &&
        ! compgen -G "$work/.folder.quillbox-*" >/dev/null
    check "--split: a failed flush keeps the old folder, nothing beside it" $?
fi
mkdir -p "$work/mine"
printf 'mine' >"$work/mine/notes.txt"
run "${msgs[@]}" --split -o "$work/mine"
[[ $status -eq 1 && $err == *不是\ Quillbox\ 写的文件夹* && $(ls -A "$work/mine") == notes.txt &&
   $(cat "$work/mine/notes.txt") == mine ]]
check "--split refuses a folder of the user's" $?
printf 'x' >"$work/folder/notes.txt"
run "${msgs[@]}" --split -o "$work/folder"
[[ $status -eq 0 && $err == *已保留在*folder.quillbox-old* && $(cat "$work/folder.quillbox-old/notes.txt") == x &&
   -f "$work/folder/index.txt" && ! -e "$work/folder/notes.txt" ]]
check "--split keeps aside an old folder that holds other files, and says where" $?
run "${msgs[@]}" --split --page classic -o "$work/folder"
[[ $status -eq 2 && $err == *"Try 'quillbox-cli --help'."* ]]; check "--split --page classic" $?

# The report and the archive are never one file, whatever the names: the archive not there
# yet, another spelling, an absolute path, a dangling link to it.
cd "$work"
rm -f a.txt
ln -sf a.txt dangling.json
for report in ./a.txt "$work/a.txt" "$work/./a.txt" dangling.json; do
    run "${msgs[@]}" -o a.txt --report "$report"
    [[ $status -eq 1 && $err == *报告文件不能是输出文件* && ! -e a.txt ]]; check "report $report is the archive" $?
done
cd - >/dev/null

# A report that cannot be written: nothing is put in place, the old archive stays.
reset_old
run "${msgs[@]}" -o "$work/old.txt" --report /dev/full
[[ $status -eq 1 && $err == *报告文件* ]]; check "a report on a full disk fails the run" $?
old_intact && no_leftovers; check "a report on a full disk keeps the old archive" $?

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
