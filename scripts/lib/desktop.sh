# Shell functions that start a virtual desktop of our own: Xvfb, a private session bus and an
# XFCE panel with a Status Tray, plus the host-neutral pieces the panel checks in scripts/hosts/
# need (waiting for the status item, CPU of a process tree, locating what changed on screen).
# Sourced by scripts/demo, scripts/demo-shots, bench/overhead and scripts/hosts/*. Everything
# started is recorded in desktop_pids and stopped again, with all its descendants, by desktop_stop.

desktop_pids=()
desktop_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# desktop_start DIR [TRAY_ICON_SIZE] [SCREEN]: a fresh HOME in DIR, a display, a bus and a panel.
desktop_start() {
    local dir=$1 icon_size=${2:-0} screen=${3:-1024x200}
    desktop_home "$dir"
    desktop_display "$dir" "$screen" || return 1
    desktop_bus "$dir" || return 1
    desktop_xfce_panel "$dir" "$icon_size"
}

# desktop_home DIR: HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR inside DIR.
desktop_home() {
    export HOME=$1/home XDG_CONFIG_HOME=$1/home/.config XDG_RUNTIME_DIR=$1/run
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# desktop_display DIR [SCREEN]: an Xvfb display of SCREEN pixels (WxH), exported as DISPLAY; its
# process is desktop_display_pid.
desktop_display() {
    local dir=$1 screen=${2:-1024x200} display_fd number
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 "${screen}x24" -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    desktop_pids+=($!)
    desktop_display_pid=$!
    read -r -t 10 number <&"$display_fd" || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; return 1; }
    export DISPLAY=:$number
    unset WAYLAND_DISPLAY
}

# desktop_bus DIR [no-watcher]: a private session bus, exported as DBUS_SESSION_BUS_ADDRESS. With
# no-watcher nobody may own the StatusNotifierWatcher name on it: a panel's tray then serves XEmbed
# icons only, and the app shows its XEmbed icon.
desktop_bus() {
    local dir=$1 tries=0 config=(--session)
    if [ "${2:-}" = no-watcher ]; then
        cat >"$dir/bus.conf" <<'END'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="mandatory"><deny own="org.kde.StatusNotifierWatcher"/></policy>
</busconfig>
END
        config=(--config-file="$dir/bus.conf") desktop_no_watcher=1
    fi
    dbus-daemon "${config[@]}" --nofork --nopidfile --print-address=1 >"$dir/bus.address" 2>/dev/null &
    desktop_pids+=($!)
    until [ -s "$dir/bus.address" ] || [ $((tries++)) -gt 50 ]; do sleep 0.1; done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$dir/bus.address")
    [ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { echo "dbus-daemon did not start" >&2; return 1; }
    export DBUS_SESSION_BUS_ADDRESS
    desktop_bus_address=$DBUS_SESSION_BUS_ADDRESS
}

# desktop_system_bus DIR: a private bus that stands in for the system bus, exported as
# DBUS_SYSTEM_BUS_ADDRESS, for programs that give up without one (no services run on it).
desktop_system_bus() {
    local dir=$1 tries=0
    dbus-daemon --session --nofork --nopidfile --print-address=1 >"$dir/system.address" 2>/dev/null &
    desktop_pids+=($!)
    until [ -s "$dir/system.address" ] || [ $((tries++)) -gt 50 ]; do sleep 0.1; done
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$dir/system.address")
    [ -n "$DBUS_SYSTEM_BUS_ADDRESS" ] || { echo "the stand-in system bus did not start" >&2; return 1; }
    export DBUS_SYSTEM_BUS_ADDRESS
}

# desktop_xfce_panel DIR TRAY_ICON_SIZE [no-clock|default]: xfce4-panel with a Status Tray (icon
# size 0 = automatic) and a clock (scripts/hosts/xfce4-panel.xml), or without the clock (a screen
# that changes only where the tray does), or with the package's own default layout instead
# (/etc/xdg/xfce4/panel/default.xml, which the panel itself copies on its first start; its icon
# sizes are kept). On a bus without a watcher it waits only a moment for the XEmbed tray.
desktop_xfce_panel() {
    local dir=$1 icon_size=$2 conf=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml no_clock=()
    mkdir -p "$conf"
    if [ "${3:-}" = default ]; then
        cp /etc/xdg/xfce4/panel/default.xml "$conf/xfce4-panel.xml"
    else
        [ "${3:-}" = no-clock ] && no_clock=(-e '/<value type="int" value="3"\/>/d')
        sed -e "s/SPOUTWISE_TRAY_ICON_SIZE/$icon_size/" "${no_clock[@]}" "$desktop_lib/../hosts/xfce4-panel.xml" \
            >"$conf/xfce4-panel.xml"
    fi
    xfce4-panel --disable-wm-check >"$dir/panel.log" 2>&1 &
    desktop_pids+=($!)
    desktop_panel_pid=$!
    [ -z "${desktop_no_watcher:-}" ] || { sleep 2; return 0; }
    desktop_wait_for_name org.kde.StatusNotifierWatcher 20 ||
        { echo "the panel's Status Tray did not start (see $dir/panel.log)" >&2; return 1; }
}

# desktop_appearance light|dark: the panel in that appearance (XFCE's dark mode asks GTK for the
# theme's dark variant) and a stand-in desktop portal that tells apps the same colour scheme.
desktop_appearance() {
    local scheme=2 dark=false
    [ "$1" = dark ] && scheme=1 dark=true
    xfconf-query -c xfce4-panel -p /panels/dark-mode -s "$dark"
    "$desktop_lib/fake-portal" "$scheme" >/dev/null &
    desktop_pids+=($!)
    desktop_wait_for_name org.freedesktop.portal.Desktop 10 ||
        { echo "the stand-in desktop portal did not start" >&2; return 1; }
}

# desktop_demo DIR light|dark: the desktop of scripts/demo, tall enough for an open menu. The
# Status Tray draws the wide item at full size only when its maximum icon size (44, or automatic)
# and the panel's height (48) both leave room for 44 x 22.
desktop_demo() {
    desktop_start "$1" 0 1024x480 || return 1
    xfconf-query -c xfce4-panel -p /panels/panel-1/size -s 48
    desktop_appearance "$2"
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

# desktop_registered_items: the watcher's RegisteredStatusNotifierItems, one a line.
desktop_registered_items() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p'
}

# desktop_wait_for_item SECONDS: waits until the watcher lists at least one item.
desktop_wait_for_item() {
    local deadline=$((SECONDS + $1))
    while [ $SECONDS -lt "$deadline" ]; do
        [ -n "$(desktop_registered_items)" ] && return 0
        sleep 0.2
    done
    return 1
}

# desktop_tree PID: PID and all its descendants.
desktop_tree() {
    local child
    echo "$1"
    for child in $(pgrep -P "$1" || true); do desktop_tree "$child"; done
}

# desktop_ticks PIDS...: user + system clock ticks used so far by the given processes.
desktop_ticks() {
    local total=0 pid t
    for pid in "$@"; do
        t=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null) || t=0
        total=$((total + ${t:-0}))
    done
    echo "$total"
}

# desktop_cpu SECONDS PIDS...: CPU of the given processes over SECONDS, as % of one core.
desktop_cpu() {
    local window=$1 before after
    shift
    before=$(desktop_ticks "$@")
    sleep "$window"
    after=$(desktop_ticks "$@")
    awk -v d=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$window" \
        'BEGIN {printf "%.2f", 100 * d / hz / s}'
}

# desktop_cpu_groups SECONDS GROUP...: the CPU of each GROUP ("LABEL:PID PID...", each process
# with its descendants) over the same window of SECONDS, as % of one core: a line "LABEL N.NN"
# per group, then "sum N.NN".
desktop_cpu_groups() {
    local window=$1 i group pids=() labels=() before=() after=()
    shift
    for group in "$@"; do
        labels+=("${group%%:*}")
        pids+=("$(for pid in ${group#*:}; do desktop_tree "$pid"; done | paste -sd ' ' -)")
    done
    for i in "${!pids[@]}"; do before[i]=$(desktop_ticks ${pids[i]}); done
    sleep "$window"
    for i in "${!pids[@]}"; do after[i]=$(desktop_ticks ${pids[i]}); done
    for i in "${!pids[@]}"; do echo "${labels[i]}" $((after[i] - before[i])); done |
        awk -v hz="$(getconf CLK_TCK)" -v s="$window" '
            {label = $1; for (f = 2; f < NF; f++) label = label " " $f
             printf "%s %.2f\n", label, 100 * $NF / hz / s; sum += $NF}
            END {printf "sum %.2f\n", 100 * sum / hz / s}'
}

# desktop_session_pids NAME: the processes named NAME that run on our session bus, such as the
# services the bus started for a panel (they are not the panel's descendants).
desktop_session_pids() {
    local pid argv0
    for pid in $(desktop_bus_children); do
        argv0=$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline" | head -n 1)
        [ "${argv0##*/}" != "$1" ] || echo "$pid"
    done
}

# desktop_show_percentage true|false: the app's stored percentage switch, written before it starts.
desktop_show_percentage() {
    mkdir -p "$XDG_CONFIG_HOME/spoutwise"
    printf '[General]\nshowPercentage=%s\n' "$1" >"$XDG_CONFIG_HOME/spoutwise/spoutwise.conf"
}

# desktop_screenshot FILE: the panel strip at the top of the screen (panels up to 60 px).
desktop_screenshot() {
    import -display "$DISPLAY" -window root -crop 1024x60+0+0 +repage "$1"
}

# desktop_changed_box BEFORE AFTER [MASK]: the box "W H X Y" around every pixel that differs
# between two screenshots of the same size, leaving out the MASK box ("W H X Y"); fails when none do.
desktop_changed_box() {
    local draw=()
    [ -n "${3:-}" ] && draw=(-fill black -draw "$(desktop_box_rectangle $3)")
    local box
    box=$(convert "$1" "$2" -compose difference -composite -threshold 1% "${draw[@]}" \
        -format '%@' info: 2>/dev/null) || return 1
    # An image without changes trims to a 0x0 or 1x1 box.
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    [ "${BASH_REMATCH[1]}" -gt 1 ] && [ "${BASH_REMATCH[2]}" -gt 1 ] || return 1
    echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} ${BASH_REMATCH[4]}"
}

# desktop_box_rectangle W H X Y: the box as an ImageMagick draw primitive.
desktop_box_rectangle() { echo "rectangle $3,$4 $(($3 + $1 - 1)),$(($4 + $2 - 1))"; }

# desktop_x11_click X Y [BUTTON]: a real pointer click through the X server.
desktop_x11_click() {
    xdotool mousemove --sync "$1" "$2" && sleep 0.3 && xdotool click "${3:-1}"
}

# desktop_install PACKAGES...: installs the Debian packages that are missing (through scripts/deps).
desktop_install() { "$desktop_lib/../deps" "$@"; }

desktop_stop() {
    local pid all=()
    # Descendants too: plugin wrappers, the compositor's clients; and what our bus started, which
    # runs on its own once started.
    for pid in "${desktop_pids[@]}"; do all+=($(desktop_tree "$pid")); done
    [ -z "${desktop_bus_address:-}" ] || all+=($(desktop_bus_children))
    for pid in "${all[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Two seconds to end, then killed: a panel that hangs on its way out (lxqt-panel without its X
    # server) must not hold the script.
    local tries=0
    while [ $((tries++)) -lt 20 ] && kill -0 "${all[@]}" 2>/dev/null; do sleep 0.1; done
    for pid in "${all[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    desktop_pids=() desktop_bus_address=''
}

# desktop_bus_children: every process that has the address of the bus desktop_bus started (never
# the user's own) in its environment.
desktop_bus_children() {
    [ -n "${desktop_bus_address:-}" ] || return 0
    grep -lzxF "DBUS_SESSION_BUS_ADDRESS=$desktop_bus_address" /proc/[0-9]*/environ 2>/dev/null |
        cut -d/ -f3 | grep -vx "$$" || true
}
