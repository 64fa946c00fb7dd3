# A system bus of a script's own and a stand-in for systemd-logind on it, to
# see what the programs ask of logind. Source it; the bus and the stand-in
# are background jobs of the script and end with it (kill $(jobs -p) in its
# EXIT trap).

power_dir=$(dirname "${BASH_SOURCE[0]}")

# Starts a system bus with its socket in folder $1 and points
# DBUS_SYSTEM_BUS_ADDRESS at it.
system_bus() {
    local socket=$1/system-bus
    # Its complaints (it may not raise its file limit) go to a log beside the socket.
    dbus-daemon --config-file="$power_dir/system-bus.conf" --address="unix:path=$socket" --nofork --nopidfile \
        2>"$1/system-bus.log" &
    for _ in $(seq 50); do
        [ -S "$socket" ] && break
        sleep 0.1
    done
    [ -S "$socket" ] || { echo "FAIL: the system bus did not start" >&2; exit 1; }
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$socket"
}

# Starts the stand-in logind on that bus, recording to $1; $2 may be --silent.
logind() {
    logind_log=$1
    : >"$logind_log"
    /usr/bin/python3 "$power_dir/logind.py" "$logind_log" ${2:-} &
    for _ in $(seq 100); do
        grep -q ' ready$' "$logind_log" && return 0
        sleep 0.1
    done
    echo "FAIL: the stand-in logind did not start" >&2
    exit 1
}

# What the stand-in has recorded so far, without times.
inhibitors() { sed -e 's/^[0-9.]* //' -e '/^ready$/d' "$logind_log"; }

# Waits up to $2 s (2) until the stand-in has recorded the line $1.
expect_inhibitor() {
    for _ in $(seq $((${2:-2} * 10))); do
        grep -qxF "$1" <<<"$(inhibitors)" && return 0
        sleep 0.1
    done
    echo "FAIL: logind never saw: $1; it saw: $(inhibitors | paste -sd'|' -)" >&2
    exit 1
}
