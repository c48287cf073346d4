#!/usr/bin/env bash
# A melodex-idd cluster on this machine's loopback: the catalog split into partitions, each
# served by replica shards, routers answering the phones, nginx in front of the routers and
# between the routers and each partition's replicas.
#   tools/cluster.sh start CATALOG --partitions P --replicas R [--routers N] [--port 8470] [--run DIR] [--build DIR]
#   tools/cluster.sh update CATALOG [--run DIR]     a new catalog version, rolled out process by process
#   tools/cluster.sh restart router-<n>|shard-<p>-<r> [--run DIR]   one process, e.g. back after a crash
#   tools/cluster.sh stop [--run DIR]
# Ports: nginx answers the phones on PORT and the routers' partition queries on PORT+1; the
# routers listen on PORT+2.., the shards after them. One pid file per process in the run
# folder (nginx.pid, router-<n>.pid, shard-<p>-<r>.pid), logs beside them.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  sed -n '5,8p' "$0" | sed 's/^# *//' >&2
  exit 2
}

command="${1:-}"
[ -n "$command" ] || usage
shift
catalog="" name=""
if [ "$command" = start ] || [ "$command" = update ]; then
  [ $# -gt 0 ] || usage
  catalog="$(realpath "$1")"
  shift
elif [ "$command" = restart ]; then
  [ $# -gt 0 ] || usage
  name="$1"
  shift
fi
partitions=2 replicas=2 routers=2 port=8470 run=/tmp/melodex-cluster build="$repo/build"
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --partitions) partitions="$2" ;;
    --replicas) replicas="$2" ;;
    --routers) routers="$2" ;;
    --port) port="$2" ;;
    --run) run="$2" ;;
    --build) build="$2" ;;
    *) usage ;;
  esac
  shift 2
done
mkdir -p "$run"
run="$(realpath "$run")"
idd="$build/service/melodex-idd"
catalog_tool="$build/tools/catalog/melodex-catalog"

say() { echo "cluster: $*"; }
fail() { echo "cluster: $*" >&2; exit 1; }

# Shard and router worker threads: a machine's cores shared by the processes on it.
threads=2

router_port() { echo $((port + 2 + $1)); }
shard_port() { echo $((port + 2 + routers + $1 * replicas + $2)); }

# Waits until something answers HTTP on the port (any status).
wait_http() {
  local p="$1" what="$2"
  for _ in $(seq 1 200); do
    code="$(curl -s -o /dev/null -w '%{http_code}' --max-time 2 "http://127.0.0.1:$p/" || true)"
    [ "$code" != 000 ] && return 0
    sleep 0.05
  done
  fail "$what on port $p did not come up (see $run/*.log)"
}

# A process that ended but was not reaped (a container's init may not reap) counts as gone.
running() {
  local state
  state="$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}
# nginx sends to a server it saw fail only once fail_timeout (1 s, counted in whole seconds)
# has passed: a process restarted is in use again after this, and only then may the next one
# of its group go down.
settle() { sleep 2.1; }

alive() { [ -f "$1" ] && running "$(cat "$1")"; }

# SIGTERM answers every accepted request before the process exits; then the pid file goes.
stop_pid() {
  local file="$1"
  if alive "$file"; then
    local pid
    pid="$(cat "$file")"
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      running "$pid" || break
      sleep 0.05
    done
    if running "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$file"
}

# Each process runs under a small shell that waits for it, so that one which ends is reaped
# even where the machine's init does not reap orphans.
spawn() {
  local name="$1"
  shift
  rm -f "$run/$name.pid"
  nohup bash -c '"$@" & echo $! >"$0"; wait' "$run/$name.pid" "$@" >>"$run/$name.out" 2>&1 </dev/null &
  for _ in $(seq 1 200); do
    [ -s "$run/$name.pid" ] && return 0
    sleep 0.01
  done
  fail "$name did not start"
}

start_router() {
  local n="$1" folder="$2"
  spawn "router-$n" "$idd" --role router --catalog "$folder/router" --partitions "$partitions" \
    --proxy "127.0.0.1:$((port + 1))" --port "$(router_port "$n")" --threads "$threads" --access-log "$run/router-$n.log"
}

start_shard() {
  local p="$1" r="$2" folder="$3"
  spawn "shard-$p-$r" "$idd" --role shard --catalog "$folder/part-$p" --port "$(shard_port "$p" "$r")" \
    --threads "$threads" --access-log "$run/shard-$p-$r.log"
}

write_nginx_conf() {
  mkdir -p "$run/nginx"
  {
    cat <<EOF
# Written by tools/cluster.sh; nginx runs with its own prefix and no system service.
worker_processes 1;
pid $run/nginx.pid;
error_log $run/nginx-error.log warn;
events { worker_connections 4096; }
http {
  access_log $run/nginx-access.log;
  client_body_temp_path $run/nginx/body;
  proxy_temp_path $run/nginx/proxy;
  fastcgi_temp_path $run/nginx/fastcgi;
  uwsgi_temp_path $run/nginx/uwsgi;
  scgi_temp_path $run/nginx/scgi;
  # A phone's recording (180 KB) stays in memory; melodex-idd refuses bodies past 8 MiB itself.
  client_max_body_size 9m;
  client_body_buffer_size 256k;
  proxy_http_version 1.1;
  proxy_set_header Connection "";
  proxy_buffering on;
  proxy_connect_timeout 1s;

  # The routers: stateless, any of them answers any phone.
  upstream routers {
EOF
    for n in $(seq 0 $((routers - 1))); do
      echo "    server 127.0.0.1:$(router_port "$n") max_fails=1 fail_timeout=1s;"
    done
    echo "    keepalive 32;"
    echo "  }"
    for p in $(seq 0 $((partitions - 1))); do
      echo "  # Partition $p: its replicas serve the same index."
      echo "  upstream part$p {"
      for r in $(seq 0 $((replicas - 1))); do
        echo "    server 127.0.0.1:$(shard_port "$p" "$r") max_fails=1 fail_timeout=1s;"
      done
      echo "    keepalive 32;"
      echo "  }"
    done
    cat <<EOF

  # The phones. A router that cannot be reached goes to the next one; one that answered
  # (also 503: a partition lost) is not asked again.
  server {
    listen 127.0.0.1:$port;
    location / {
      proxy_pass http://routers;
      proxy_set_header Host \$http_host;
      proxy_next_upstream error timeout non_idempotent;
      proxy_next_upstream_tries $routers;
      proxy_read_timeout 60s;
    }
  }

  # The routers' partition queries. A replica that is down, hung past the read time-out or
  # not able to answer (503) costs one more try on another replica, never a failed query.
  server {
    listen 127.0.0.1:$((port + 1));
EOF
    for p in $(seq 0 $((partitions - 1))); do
      cat <<EOF
    location = /part/$p/match {
      proxy_pass http://part$p/match;
      proxy_next_upstream error timeout http_502 http_503 http_504 non_idempotent;
      proxy_next_upstream_tries $replicas;
      proxy_read_timeout 3s;
    }
EOF
    done
    cat <<EOF
    location / { return 404 "no such partition\n"; }
  }
}
EOF
  } >"$run/nginx.conf"
}

# A new version keeps the track ranges of the one before (given as its folder), so that no
# track is in two partitions, or in none, while the processes change over one by one.
partition() {
  local folder="$1" previous="${2:-}"
  "$catalog_tool" partition "$catalog" -o "$folder" --partitions "$partitions" ${previous:+--like "$previous"} \
    >"$folder.txt" || fail "cannot partition $catalog (see $folder.txt)"
}

load_settings() {
  [ -f "$run/cluster.env" ] || fail "no cluster runs from $run"
  # shellcheck disable=SC1091
  . "$run/cluster.env"
}

save_settings() {
  printf 'partitions=%s\nreplicas=%s\nrouters=%s\nport=%s\nbuild=%s\ngeneration=%s\n' \
    "$partitions" "$replicas" "$routers" "$port" "$build" "$generation" >"$run/cluster.env"
}

case "$command" in
  start)
    [ -x "$idd" ] && [ -x "$catalog_tool" ] || fail "build melodex-idd and melodex-catalog first ($build)"
    command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || fail "nginx is missing (tools/setup.sh installs it)"
    if alive "$run/nginx.pid"; then fail "a cluster already runs from $run (tools/cluster.sh stop --run $run)"; fi
    generation=1
    partition "$run/catalog-$generation"
    for p in $(seq 0 $((partitions - 1))); do
      for r in $(seq 0 $((replicas - 1))); do start_shard "$p" "$r" "$run/catalog-$generation"; done
    done
    for n in $(seq 0 $((routers - 1))); do start_router "$n" "$run/catalog-$generation"; done
    write_nginx_conf
    PATH="$PATH:/usr/sbin" nginx -p "$run/nginx" -c "$run/nginx.conf" -e "$run/nginx-error.log"
    save_settings
    for p in $(seq 0 $((partitions - 1))); do
      for r in $(seq 0 $((replicas - 1))); do wait_http "$(shard_port "$p" "$r")" "shard $p-$r"; done
    done
    for n in $(seq 0 $((routers - 1))); do wait_http "$(router_port "$n")" "router $n"; done
    wait_http "$port" nginx
    say "$partitions partitions x $replicas replicas, $routers routers; the service answers at http://127.0.0.1:$port/servlet/ZorbelId (run folder $run)"
    ;;
  update)
    load_settings
    previous="$run/catalog-$generation"
    generation=$((generation + 1))
    partition "$run/catalog-$generation" "$previous"
    # Routers first: they know every track of the new version before any shard answers with one.
    for n in $(seq 0 $((routers - 1))); do
      stop_pid "$run/router-$n.pid"
      start_router "$n" "$run/catalog-$generation"
      wait_http "$(router_port "$n")" "router $n"
      settle
    done
    for p in $(seq 0 $((partitions - 1))); do
      for r in $(seq 0 $((replicas - 1))); do
        stop_pid "$run/shard-$p-$r.pid"
        start_shard "$p" "$r" "$run/catalog-$generation"
        wait_http "$(shard_port "$p" "$r")" "shard $p-$r"
        settle
      done
    done
    save_settings
    rm -rf "$previous" "$previous.txt"
    say "every process serves $(basename "$run/catalog-$generation")"
    ;;
  restart)
    load_settings
    folder="$run/catalog-$generation"
    if [[ "$name" =~ ^router-([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt "$routers" ]; then
      stop_pid "$run/$name.pid"
      start_router "${BASH_REMATCH[1]}" "$folder"
      wait_http "$(router_port "${BASH_REMATCH[1]}")" "$name"
      settle
    elif [[ "$name" =~ ^shard-([0-9]+)-([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt "$partitions" ] &&
      [ "${BASH_REMATCH[2]}" -lt "$replicas" ]; then
      p="${BASH_REMATCH[1]}" r="${BASH_REMATCH[2]}"
      stop_pid "$run/$name.pid"
      start_shard "$p" "$r" "$folder"
      wait_http "$(shard_port "$p" "$r")" "$name"
      settle
    else
      fail "no process $name in this cluster"
    fi
    say "$name restarted"
    ;;
  stop)
    load_settings
    for f in "$run"/router-*.pid "$run"/shard-*.pid; do [ -e "$f" ] && stop_pid "$f"; done
    if alive "$run/nginx.pid"; then
      pid="$(cat "$run/nginx.pid")"
      kill -QUIT "$pid"
      for _ in $(seq 1 100); do running "$pid" || break; sleep 0.05; done
    fi
    rm -f "$run/nginx.pid"
    say "stopped ($run)"
    ;;
  *) usage ;;
esac
