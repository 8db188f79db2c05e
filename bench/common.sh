# Shell functions shared by the benchmark scripts (bench/run-all, bench/load-faults); sourced.

# A loopback port nobody listens on: the probe connects, and a refusal means free.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
}

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; 1 after SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# field NAME < summary line (of load, tcp_ping_pong, command_loops): the number after NAME.
field() {
  awk -v n="$1" '{ for (i = 1; i < NF; ++i) if ($i == n) { v = $(i + 1); sub("/s", "", v); print v; exit } }'
}
