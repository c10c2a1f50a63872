# The imitation update server for the test scripts (sourced, not run on its
# own). Used by scripts/test for the adapter tier and by tests/e2e/update.sh.
#
#   update_server_start FOLDER ROUTES
#       makes the certificates in FOLDER, starts server.py with the routes
#       file ROUTES and waits until it listens; exports QV_UPDATE_PORT_A,
#       QV_UPDATE_PORT_B, QV_UPDATE_PORT_UNTRUSTED (the three origins' ports),
#       QV_UPDATE_LOG (its request log) and QV_UPDATE_CA (the authority's
#       certificate, DER). Fails when it does not come up within 30 seconds.
#   update_server_trust FOLDER
#       builds trustca.exe into FOLDER with mingw-w64 and runs it in the
#       current WINEPREFIX: that prefix, and only that prefix, then trusts the
#       server's certificate.
#   update_server_stop
#       ends the server (also safe when it never started) and unsets the
#       variables.
#
# The server also ends by itself when the shell that started it is gone.

update_server_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QV_UPDATE_SERVER_PID=""

update_server_start() { # folder, routes file
    local folder=$1 routes=$2 ready
    mkdir -p "$folder"
    rm -f "$folder/ready.json"
    python3 "$update_server_here/server.py" --dir "$folder" --routes "$routes" --parent $$ \
        >"$folder/server.out" 2>&1 &
    QV_UPDATE_SERVER_PID=$!
    ready="$folder/ready.json"
    for _ in $(seq 1 300); do
        [ -s "$ready" ] && break
        kill -0 "$QV_UPDATE_SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$ready" ]; then
        echo "the imitation update server did not start:" >&2
        cat "$folder/server.out" >&2
        update_server_stop
        return 1
    fi
    local values
    values=$(python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))
print(r["a"], r["b"], r["untrusted"], r["log"], r["ca"])' "$ready") || return 1
    read -r QV_UPDATE_PORT_A QV_UPDATE_PORT_B QV_UPDATE_PORT_UNTRUSTED QV_UPDATE_LOG QV_UPDATE_CA <<<"$values"
    export QV_UPDATE_PORT_A QV_UPDATE_PORT_B QV_UPDATE_PORT_UNTRUSTED QV_UPDATE_LOG QV_UPDATE_CA
}

update_server_trust() { # folder for the tool
    x86_64-w64-mingw32-gcc-posix -O2 -o "$1/trustca.exe" "$update_server_here/trustca.c" -lcrypt32 || return 1
    wine "$1/trustca.exe" "$(winepath -w "$QV_UPDATE_CA" 2>/dev/null)" >/dev/null
}

update_server_stop() {
    if [ -n "$QV_UPDATE_SERVER_PID" ]; then
        kill "$QV_UPDATE_SERVER_PID" 2>/dev/null
        wait "$QV_UPDATE_SERVER_PID" 2>/dev/null
    fi
    QV_UPDATE_SERVER_PID=""
    unset QV_UPDATE_PORT_A QV_UPDATE_PORT_B QV_UPDATE_PORT_UNTRUSTED QV_UPDATE_LOG QV_UPDATE_CA
}
