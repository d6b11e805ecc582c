# Shared by the benchmark scripts (sourced): timing a command and medians.

# Seconds a command takes, its output discarded (bash's own clock: no process
# is started around the command).
timed() {
    local t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    local t1=$EPOCHREALTIME
    echo "$t1 - $t0" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }
