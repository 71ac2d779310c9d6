# Shared by the bench/compare-*.sh scripts that time desktops (sourced):
# waiting with a deadline, nanosecond clocks, and medians of paired rounds.
# They set $work, whose *.log files are shown when a wait gives up.

# Waits at most ten seconds for a condition, else ends the script saying so.
wait_for() {
    local tries=0
    until eval "$1"; do
        sleep 0.01
        if (( ++tries > 1000 )); then echo "gave up waiting for: $1" >&2; cat "$work"/*.log >&2 2>/dev/null; exit 1; fi
    done
}
now() { date +%s%N; }
# Waits for a file in $work/shots (lmgrab names a file only once it is
# whole) and prints the nanoseconds since start.
picture_since() {
    local start=$1 tries=0
    until [ -n "$(ls "$work/shots")" ]; do
        sleep 0.001
        if (( ++tries > 10000 )); then echo "no picture came" >&2; cat "$work"/*.log >&2 2>/dev/null; exit 1; fi
    done
    echo $(( $(now) - start ))
}
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%.1f ms", v[int((NR+1)/2)]/1e6}'; }
# The median of the rounds' ratios a[i] / b[i], for arrays named a and b.
ratio() {
    local -n a=$1 b=$2
    for i in "${!a[@]}"; do echo $(( a[i] * 1000 / b[i] )); done | sort -n |
        awk '{v[NR]=$1} END {printf "%.3f", v[int((NR+1)/2)]/1000}'
}
