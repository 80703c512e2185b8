#!/usr/bin/env bash
# Publishes a sample game into the build folder, serves it with nginx at the
# update host, runs the report server at the report host, installs the built
# launcher into a fresh game folder in a Wine prefix of its own and starts it.
# Without a display it runs on Xvfb, plays the player (screenshots while
# updating, when finished, and of the game that "Start Game" starts, all in
# the build's demo folder) and ends. Runs the i686 build where this machine
# runs 32-bit Windows programs, else the x86_64 one.
#   demo.sh [I686_BUILD_DIR [X86_64_BUILD_DIR]]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
trap 'echo "demo: the step on line $LINENO failed (see the output above)" >&2' ERR
i686_build=$(cd "${1:-$here/build}" && pwd)
arch=$("$here/scripts/test-arch.sh" "$i686_build")
if [ "$arch" = i686 ]; then
    build=$i686_build
else
    build=$(cd "${2:-$here/build-x86_64}" && pwd)
fi
echo "Demo runs the $arch build in $build"
export TARNHOLD_ARCH=$arch
export WINEPREFIX=$build/demo/wineprefix
source "$here/scripts/wine-env.sh"
"$here/scripts/wine-prefix.sh"

# A small sample game published as an update server's tree in
# build/demo/server, for the update run to fetch from.
/usr/bin/python3 "$here/scripts/sample-game.py" "$build/demo/sample-game" "$build/game/Tarnhold.exe"
rm -rf "$build/demo/server"
wine "$build/publisher.exe" "$(winepath -w "$build/demo/sample-game")" "$(winepath -w "$build/demo/server")"

# The launcher installed in a fresh game folder: it opens its main window and
# brings the folder up to date from the update host.
game=$build/demo/game
rm -rf "$game"
mkdir -p "$game"
cp "$build/TarnholdLauncher.exe" "$game/"
wine reg add 'HKCU\Software\OrvixGames\Tarnhold' /v InstallPath /d "$(winepath -w "$game")" /f >/dev/null 2>&1

# The report server takes the launcher's reports when the build reports to a
# loopback address (the default, 127.0.0.2); its page lists them.
report_host=$(sed -n 's/^TARNHOLD_REPORT_HOST:STRING=//p' "$build/CMakeCache.txt")
update_host=$(sed -n 's/^TARNHOLD_UPDATE_HOST:STRING=//p' "$build/CMakeCache.txt")
report_pid=
nginx_pid=
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        wineserver -k 2>/dev/null || true
        kill "$xvfb_pid" 2>/dev/null || true
    fi
    [ -n "$report_pid" ] && kill "$report_pid" 2>/dev/null || true
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [[ $report_host =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    report_log=$build/demo/report-server.log
    # gunicorn straight on the report host, with the embedded SQLite store;
    # the overview page is on 127.0.0.1:8080 when TARNHOLD_REPORTS_TOKEN is set.
    /usr/bin/python3 "$here/tools/report_server" --address "$report_host" \
        --database "$build/demo/reports.db" >"$report_log" 2>&1 &
    report_pid=$!
    # Reports sent before it listens would be lost.
    for _ in $(seq 50); do
        grep -q '^listening' "$report_log" && break
        kill -0 "$report_pid" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q '^listening' "$report_log"; then
        echo "Report server: http://$report_host/ (database $build/demo/reports.db)"
        grep '^overview' "$report_log" || true
    else
        echo "Report server did not start; see $report_log" >&2
        report_pid=
    fi
fi

# nginx serves the published tree at the update host when that is a loopback
# address (the default, 127.0.0.1).
if [[ $update_host =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    conf=$build/demo/nginx
    mkdir -p "$conf"
    cat >"$conf/nginx.conf" <<CONF
user root;
worker_processes 1;
pid $conf/nginx.pid;
error_log $conf/error.log;
events { worker_connections 64; }
http {
    access_log $conf/access.log;
    client_body_temp_path $conf/body;
    proxy_temp_path $conf/proxy;
    fastcgi_temp_path $conf/fastcgi;
    scgi_temp_path $conf/scgi;
    uwsgi_temp_path $conf/uwsgi;
    default_type application/octet-stream;
    # Slow enough that the update can be watched.
    server { listen $update_host:80; root $build/demo/server; limit_rate 1m; }
}
CONF
    nginx -c "$conf/nginx.conf" -g 'daemon off;' &
    nginx_pid=$!
    sleep 0.5
    if kill -0 "$nginx_pid" 2>/dev/null; then
        echo "Update server: http://$update_host/ serves $build/demo/server"
    else
        echo "nginx did not start on $update_host:80; see $conf/error.log" >&2
        nginx_pid=
    fi
fi

if [ -n "${DISPLAY:-}" ]; then
    echo "Starting the launcher on $DISPLAY from $game"
    cd "$game" && wine TarnholdLauncher.exe
    exit 0
fi

display=:$((500 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1

/usr/bin/python3 "$here/scripts/demo-player.py" "$build" "$game"
echo "The game folder $game now holds $(find "$game" -type f | wc -l) files"
