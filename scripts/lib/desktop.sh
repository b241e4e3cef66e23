# Shell functions that start a virtual desktop of our own: Xvfb, a private session bus and an
# XFCE panel with a Status Tray. Sourced by scripts/demo, bench/overhead and scripts/hosts/*.
# Everything started is recorded and stopped again by desktop_stop.

desktop_pids=()

# desktop_start DIR [TRAY_ICON_SIZE]: a fresh HOME in DIR, a display, a bus and a panel.
desktop_start() {
    local dir=$1 icon_size=${2:-0}
    export HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config XDG_RUNTIME_DIR=$dir/run
    mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    sed "s/SPOUTWISE_TRAY_ICON_SIZE/$icon_size/" "$(dirname "${BASH_SOURCE[0]}")/../hosts/xfce4-panel.xml" \
        >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"

    local display_fd
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1024x200x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    desktop_pids+=($!)
    local number
    read -r -t 10 number <&"$display_fd" || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; return 1; }
    export DISPLAY=:$number
    unset WAYLAND_DISPLAY

    dbus-daemon --session --nofork --nopidfile --print-address=1 >"$dir/bus.address" 2>/dev/null &
    desktop_pids+=($!)
    local tries=0
    until [ -s "$dir/bus.address" ] || [ $((tries++)) -gt 50 ]; do sleep 0.1; done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$dir/bus.address")
    export DBUS_SESSION_BUS_ADDRESS

    xfce4-panel --disable-wm-check >"$dir/panel.log" 2>&1 &
    desktop_pids+=($!)
    desktop_panel_pid=$!
    desktop_wait_for_name org.kde.StatusNotifierWatcher 20 ||
        { echo "the panel's Status Tray did not start (see $dir/panel.log)" >&2; return 1; }
}

# desktop_wait_for_name NAME SECONDS: waits until NAME is owned on the session bus.
desktop_wait_for_name() {
    local name=$1 deadline=$((SECONDS + $2))
    while [ $SECONDS -lt "$deadline" ]; do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner "string:$name" 2>/dev/null | grep -q 'boolean true' && return 0
        sleep 0.2
    done
    return 1
}

# desktop_screenshot FILE: the panel strip at the top of the screen.
desktop_screenshot() {
    import -display "$DISPLAY" -window root -crop 1024x40+0+0 +repage "$1"
}

# Last started first: the app ends on its own terms while its display and bus are still there.
desktop_stop() {
    local i pid
    for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
        pid=${desktop_pids[i]}
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    desktop_pids=()
}
