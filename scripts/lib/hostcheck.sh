# The check every script in scripts/hosts/ runs against its panel: start the host, start Spoutwise
# in it, wait for the item to be registered with the watcher, screenshot the panel, click the item
# with a real click, screenshot the menu, and measure the host's CPU without and with Spoutwise.
#
# A host script sets host_name, host_packages (installed on first use), host_icon_size and
# host_panel_size (its defaults for the tray's icon size and the panel's height) and defines:
#   host_start DIR ICON_SIZE PANEL_SIZE
#                  starts the host with DIR as its HOME and log folder; fills host_cpu_labels and
#                  host_cpu_roots (the processes whose CPU is measured, each with its descendants)
#                  and host_app_env (VAR=value settings for the app)
#   host_shot FILE a screenshot of the whole screen
#   host_click X Y BUTTON
#                  a real click of mouse button BUTTON (1 left, 3 right) at X, Y
# host_unprivileged=1 says that the host refuses to run as root: started as root, the check runs
# again as the user nobody, who is handed the output folder. The script then calls
# hostcheck_main "$@".
#
# It prints one table row (item registered, the box of the pixels the item changed in the panel,
# what a left and a right click on its middle called on the bus and the box of what opened, the
# host's CPU as % of one core without and with Spoutwise) and leaves in the output folder
# panel-empty.png, panel.png, item.png (the item enlarged 8×), menu-left.png / menu-right.png with
# their -crop.png (the panel's end and the menu) and the logs of everything it started.

source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

host_cpu_labels=() host_cpu_roots=() host_app_env=() host_unprivileged=0

hostcheck_usage() {
    echo "usage: $0 [--out DIR] [--seconds N] [--icon-size N] [--panel-size N] [BINARY [ARGS...]]" >&2
    exit 2
}

hostcheck_main() {
    local all_args=("$@") seconds=20 icon_size=$host_icon_size panel_size=$host_panel_size
    out='' binary=$desktop_lib/../../build/release/spoutwise
    while [ $# -gt 0 ]; do
        case $1 in
            --out) out=$2; shift ;;
            --seconds) seconds=$2; shift ;;
            --icon-size) icon_size=$2; shift ;;
            --panel-size) panel_size=$2; shift ;;
            -*) hostcheck_usage ;;
            *) binary=$1; shift; break ;;
        esac
        shift
    done
    [ -x "$binary" ] || { echo "no $binary: build the Release app first (scripts/run builds it)" >&2; exit 1; }
    binary=$(realpath "$binary") app_args=("$@")
    desktop_install "${host_packages[@]}"
    out=${out:-$(mktemp -d -t spoutwise-host.XXXXXX)}
    mkdir -p "$out"
    out=$(realpath "$out")
    if [ "$host_unprivileged" = 1 ] && [ "$(id -u)" = 0 ]; then
        chown nobody:nogroup "$out"
        exec setpriv --reuid=nobody --regid=nogroup --clear-groups "$0" --out "$out" "${all_args[@]}"
    fi
    work=$(mktemp -d -t spoutwise-host-session.XXXXXX)
    trap hostcheck_cleanup EXIT
    trap 'exit 130' INT TERM
    host_settings="tray icon size $icon_size, panel size $panel_size"
    echo "$host_name, $host_settings: screenshots and logs go to $out"
    hostcheck_run "$icon_size" "$panel_size" "$seconds"
}

hostcheck_cleanup() {
    desktop_stop
    cp "$work"/*.log "$out"/ 2>/dev/null || true
    rm -rf "$work"
}

# hostcheck_run ICON_SIZE PANEL_SIZE SECONDS: the steps; fills the results and prints the table.
hostcheck_run() {
    local seconds=$3
    registered=no item='not drawn' cpu_alone='' cpu_with='' clicks=()
    host_start "$work" "$1" "$2" || { hostcheck_table; exit 1; }
    sleep 3
    host_shot "$out/panel-empty.png"
    screen_w=$(identify -format %w "$out/panel-empty.png")
    # The pointer waits on an empty spot of the panel (its middle: no launcher, no tray), in the row
    # left out of the menu comparison.
    host_click $((screen_w / 2)) 2 1
    sleep 0.5
    host_shot "$out/panel-empty.png"
    cpu_alone=$(hostcheck_cpu "$seconds")

    env "${host_app_env[@]}" "$binary" "${app_args[@]}" >"$work/spoutwise.log" 2>&1 &
    desktop_pids+=($!)
    # Where the panel serves the XEmbed tray itself, the item shows as an XEmbed icon instead.
    if desktop_wait_for_item 10; then
        registered=yes
    elif xwininfo -root -tree | grep -q '("spoutwise" "Spoutwise")'; then
        registered='no: XEmbed icon'
    else
        hostcheck_table
        exit 1
    fi
    sleep 3
    host_shot "$out/panel.png"
    local box
    if box=$(desktop_changed_box "$out/panel-empty.png" "$out/panel.png"); then
        hostcheck_item "$box"
    fi
    cpu_with=$(hostcheck_cpu "$seconds")
    if [ -n "${box:-}" ]; then
        hostcheck_click 1 left $box
        hostcheck_click 3 right $box
    fi
    hostcheck_table
}

# hostcheck_item W H X Y: records where the item is drawn and saves an 8× enlarged crop of it.
hostcheck_item() {
    local w h x y
    read -r w h x y <<<"$1"
    item="${w}×${h} px at ${x},${y}"
    convert "$out/panel.png" -crop "$((w + 8))x$((h + 8))+$((x > 4 ? x - 4 : 0))+$((y > 4 ? y - 4 : 0))" \
        +repage -filter point -resize 800% "$out/item.png"
}

# hostcheck_click BUTTON NAME W H X Y: clicks the middle of the item box, saves menu-NAME.png and
# records the item's and its menu's methods the click called and what appeared below the panel
# (the menu), cropped with the panel's end into menu-NAME-crop.png; then clicks an empty spot of the
# panel to close it again.
hostcheck_click() {
    local button=$1 name=$2 w=$3 h=$4 x=$5 y=$6 monitor calls shown='nothing shown'
    dbus-monitor --session "type='method_call',interface='org.kde.StatusNotifierItem'" \
        "type='method_call',interface='com.canonical.dbusmenu'" >"$work/$name-click-calls.log" 2>&1 &
    monitor=$!
    desktop_pids+=($monitor)
    sleep 0.5
    host_shot "$work/before-click.png"
    host_click $((x + w / 2)) $((y + h / 2)) "$button"
    sleep 2
    host_shot "$out/menu-$name.png"
    kill "$monitor" 2>/dev/null || true
    calls=$(sed -n 's/^method call .* member=\([A-Za-z]*\)$/\1/p' "$work/$name-click-calls.log" | uniq | paste -sd ' ' -)
    local popup pw ph px py left
    # The item animates and the button under it lights up: leave out the panel along the top.
    if popup=$(desktop_changed_box "$work/before-click.png" "$out/menu-$name.png" "$screen_w $((y + h + 8)) 0 0"); then
        read -r pw ph px py <<<"$popup"
        shown="${pw}×${ph} px at ${px},${py}"
        # The panel's end with the item and the menu below it, for the README.
        left=$(((px < x ? px : x) - 16))
        left=$((left < 0 ? 0 : left))
        convert "$out/menu-$name.png" -crop "$((screen_w - left))x$((py + ph + 8))+$left+0" +repage \
            "$out/menu-$name-crop.png"
    fi
    clicks+=("${calls:-no calls}; $shown")
    host_click $((screen_w / 2)) 2 1
    sleep 1
}

# hostcheck_cpu SECONDS: each measured process tree's CPU over the same window, "label N %" joined.
hostcheck_cpu() {
    local i before=() after=() pids=() hz
    hz=$(getconf CLK_TCK)
    for i in "${!host_cpu_roots[@]}"; do
        pids[i]=$(desktop_tree "${host_cpu_roots[i]}" | paste -sd ' ' -)
        before[i]=$(desktop_ticks ${pids[i]})
    done
    sleep "$1"
    for i in "${!host_cpu_roots[@]}"; do
        after[i]=$(desktop_ticks ${pids[i]})
        awk -v l="${host_cpu_labels[i]}" -v d=$((after[i] - before[i])) -v hz="$hz" -v s="$1" \
            'BEGIN {printf "%s %.2f %%", l, 100 * d / hz / s}'
        if [ "$i" -lt $((${#host_cpu_roots[@]} - 1)) ]; then printf ', '; fi
    done
}

hostcheck_table() {
    local f
    echo
    echo "| host | item registered | item drawn | left click | right click | host CPU alone | host CPU with Spoutwise |"
    echo "|---|---|---|---|---|---|---|"
    echo "| $host_name ($host_settings) | $registered | $item | ${clicks[0]:--} | ${clicks[1]:--} | ${cpu_alone:--} | ${cpu_with:--} |"
    echo
    for f in panel-empty panel item menu-left menu-left-crop menu-right menu-right-crop; do
        [ -f "$out/$f.png" ] && echo "  $f: $out/$f.png"
    done
    echo "  logs: $out/*.log"
}
