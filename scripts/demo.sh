#!/usr/bin/env bash
# The whole product under Wine, for a person to watch: harbeesrv.exe installed as a service that
# hosts the test JVM with the demo core; the core starts the agent (the fake-desktop one: Wine
# has no UI Automation) through natbridge; a scripted user opens a refused and an allowed
# application; then the service is stopped and removed, and its logs are printed.
#
# Run after `bash scripts/build.sh`. Like scripts/test.sh it uses the 32-bit build where this
# machine runs 32-bit programs and the 64-bit one elsewhere. Do not run it beside scripts/test.sh
# on the same build tree (both use the service manager and port 3800).
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine.sh

choose_wine_tree || exit 1
"${configure[@]}" >/dev/null && cmake --build --preset $preset --target demo >/dev/null || exit 1

service=HarbeeDemo
wine="$tree/run-under-wine.sh"
folder=$(cd "$tree/testing/demo" && pwd)
logs="$folder/logs"
windows() { echo "Z:${1//\//\\}"; }
runner() { "$wine" "$folder/harbeesrv.exe" "$@"; }

rm -rf "$logs" && mkdir -p "$logs"
echo "== demo: the product as a service, $build"
runner "//DS//$service" >/dev/null 2>&1
echo "== installing $service"
runner "//IS//$service" --DisplayName="Harbee demo" --Description="The product run by scripts/demo.sh" --StartMode=jvm --StopMode=jvm \
  --Jvm="$(windows "$folder/jvm.dll")" --Classpath="$(windows "$folder/democore.dll")" \
  --StartClass=demo.Core --StopClass=demo.Core --StopMethod=stop --StopTimeout=30 \
  --StartParams="agent=$(windows "$folder/harbeeagent_fakedesktop.exe");refuse=win32:notepad.exe;password=secret;announce-logon;log=$(windows "$logs/core.log")" \
  --LogPath="$(windows "$logs")" --LogPrefix=harbeesrv --LogLevel=debug --StdOutput=auto || exit 1
echo "== starting it"
runner "//ES//$service" || { echo "demo: the service did not start"; status=1; }

"$wine" "$folder/demo_user.exe"
status=${status:-$?}

echo "== stopping it"
runner "//SS//$service" || status=1
echo "== removing it"
runner "//DS//$service" || status=1

for log in "$logs"/core.log "$logs"/harbeesrv.*.log "$logs"/harbeedemo-stdout.*.log; do
  [ -f "$log" ] || continue
  echo
  echo "== $(basename "$log")"
  tr -d '\r' <"$log"
done
stop_wine "$tree"
echo
[ "$status" -eq 0 ] && echo "== demo: done" || echo "== demo: something went wrong (see above)"
exit "$status"
