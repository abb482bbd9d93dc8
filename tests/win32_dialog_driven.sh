#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs win32_dialog_driven under Wine on a display of its own (Xvfb):
#   win32_dialog_driven.sh WINE_RUN DRIVER QUILLBOX_EXE CLI_EXE EXAMPLES WORK SCREENSHOTS
# The sample folders are copied under a Chinese name first. A Wine session started without a
# display cannot show windows: the prefix's server is ended before and after.
set -uo pipefail
wine_run=$1 driver=$2 quillbox=$3 cli=$4 examples=$5 work=$6 shots=$7
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$wine_run")/.." && pwd)/build-windows/wine}

rm -rf "$work"
mkdir -p "$work" "$shots"
cp -r "$examples" "$work/样例"
# Today's exports beside the samples' messages: an Android backup with one message twice, one
# outside the days asked for, and one whose day in Shanghai is not its day in UTC.
mkdir -p "$work/新式"
cp -r "$examples/messages" "$work/新式/messages"
sms() {  # sms ADDRESS MILLISECONDS BODY
    printf '  <sms protocol="0" address="%s" date="%s" type="1" body="%s" read="1" />\n' "$@"
}
{
    printf "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"4\">\n"
    sms 10086 1699977600000 "第一条"
    sms 10086 1699977600000 "第一条"
    sms 13900000001 1700006400000 "第二条"
    sms 13900000001 1700179200000 "范围之外"
    printf '</smses>\n'
} >"$work/新式/messages/sms-20231115.xml"
# A backup of some hundred megabytes, so that a run over it lasts long enough to be stopped.
mkdir -p "$work/大备份"
{
    printf "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"2000000\">\n"
    yes '  <sms protocol="0" address="10086" date="1699977600000" type="1" body="话费余额提醒：您的账户余额为 12.34 元，请及时充值。" read="1" />' |
        head -n 1000000
    printf '</smses>\n'
} >"$work/大备份/sms-20231115.xml"
# The prefix is made on first use. Without a window manager Wine draws the windows' frames and
# captions itself, so that the screenshots show them.
x11='HKCU\Software\Wine\X11 Driver'
desktop='HKCU\Control Panel\Desktop'
for value in Managed Decorated; do
    "$wine_run" reg add "$x11" /v "$value" /d N /f >/dev/null 2>&1
done
"$wine_run" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
restart() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}
restart
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$wine_run" "$driver" "$quillbox" "$cli" "$work/样例" "$work" "$shots"
status=$?
restart

# Again on a 144 dpi screen.
"$wine_run" reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
restart
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$wine_run" "$driver" "$quillbox" "$cli" "$work/样例" "$work" "$shots" 144 || status=1
restart
"$wine_run" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
restart
exit $status
