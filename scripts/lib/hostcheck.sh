# The check every script in scripts/hosts/ runs against its panel: start the host, start Spoutwise
# in it, wait for the item to show, screenshot the panel, click the item with a real click,
# screenshot the menu, and measure the CPU of the host's panel and display server without and with
# Spoutwise, and Spoutwise's own, over the same window.
#
# A host script sets host_name, host_packages (installed on first use), host_icon_size and
# host_panel_size (its defaults for the tray's icon size and the panel's height) and defines:
#   host_start DIR ICON_SIZE PANEL_SIZE
#                  starts the host with DIR as its HOME and log folder, on the bus of hostcheck_bus
#                  and in the appearance $hostcheck_scheme (light or dark: the host's own dark mode,
#                  where it has one); sets host_panel_label and host_panel_roots (the processes that
#                  draw the tray, each measured with its descendants), host_display_label and
#                  host_display_root (the display server), and host_app_env (VAR=value settings for
#                  the app)
#   host_shot FILE a screenshot of the whole screen
#   host_click X Y BUTTON
#                  a real click of mouse button BUTTON (1 left, 3 right) at X, Y
# host_mask ("W H X Y") is a part of the screen that changes on its own (a clock that cannot be
# removed), left out when looking for the item. host_rest_x is where along the panel's top edge the
# pointer rests between clicks, an empty spot (default: the middle).
# host_unprivileged=1 says that the host refuses to run as root: started as root, the check runs
# again as the user nobody, who is handed the output folder. The script then calls
# hostcheck_main "$@".
#
# It prints one table row (the surface, item registered, the box of the pixels the item changed in
# the panel, what a left and a right click on its middle called on the bus and the box of what
# opened), then the CPU as % of one core of Spoutwise, the panel and the display server, each on
# its own line and summed, without and with Spoutwise, and the same as a row of the README's table.
# It leaves in the output folder panel-empty.png, panel.png, item.png (the item enlarged 8×),
# panel-end.png (the panel's end with the item, enlarged 2×), menu-left.png / menu-right.png with
# their -crop.png (the panel's end and the menu) and the logs of everything it started. For the
# README, --save NAME copies menu-left-crop.png to docs/hosts/NAME.png and --save-panel NAME copies
# panel-end.png there.
#
# --dark runs the host in its dark appearance and tells the app the dark colour scheme through a
# stand-in desktop portal (else both are light); --percentage off stores the app's percentage switch
# off before it starts (else on); --xembed runs the session bus without a StatusNotifierWatcher, so
# that the panel's tray serves XEmbed icons only and the app shows its XEmbed icon.

source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

host_app_env=() host_unprivileged=0 host_mask='' host_rest_x=''
host_panel_label='' host_panel_roots='' host_display_label='' host_display_root=''

hostcheck_usage() {
    echo "usage: $0 [--out DIR] [--seconds N] [--icon-size N] [--panel-size N] [--dark]" \
        "[--percentage on|off] [--xembed] [--save NAME] [--save-panel NAME] [BINARY [ARGS...]]" >&2
    exit 2
}

hostcheck_main() {
    local all_args=("$@") seconds=20 icon_size=$host_icon_size panel_size=$host_panel_size saves=()
    out='' binary=$desktop_lib/../../build/release/spoutwise
    hostcheck_scheme=light hostcheck_percentage=on hostcheck_surface=SNI
    while [ $# -gt 0 ]; do
        case $1 in
            --out) out=$2; shift ;;
            --seconds) seconds=$2; shift ;;
            --icon-size) icon_size=$2; shift ;;
            --panel-size) panel_size=$2; shift ;;
            --dark) hostcheck_scheme=dark ;;
            --percentage) hostcheck_percentage=$2; shift ;;
            --xembed) hostcheck_surface=XEmbed ;;
            --save) saves+=("menu-left-crop:$2"); shift ;;
            --save-panel) saves+=("panel-end:$2"); shift ;;
            -*) hostcheck_usage ;;
            *) binary=$1; shift; break ;;
        esac
        shift
    done
    case $hostcheck_percentage in on | off) ;; *) hostcheck_usage ;; esac
    [ -x "$binary" ] || { echo "no $binary: build the Release app first (scripts/run builds it)" >&2; exit 1; }
    binary=$(realpath "$binary") app_args=("$@")
    desktop_install "${host_packages[@]}" python3-dbus python3-gi
    out=${out:-$(mktemp -d -t spoutwise-host.XXXXXX)}
    mkdir -p "$out"
    out=$(realpath "$out")
    if [ "$host_unprivileged" = 1 ] && [ "$(id -u)" = 0 ]; then
        chown nobody:nogroup "$out"
        # The docs folder stays root's: this process saves the screenshot.
        hostcheck_saved_by_caller=1 setpriv --reuid=nobody --regid=nogroup --clear-groups "$0" \
            --out "$out" "${all_args[@]}"
        hostcheck_save "${saves[@]}"
        exit
    fi
    work=$(mktemp -d -t spoutwise-host-session.XXXXXX)
    trap hostcheck_cleanup EXIT
    trap 'exit 130' INT TERM
    host_settings="tray icon size $icon_size, panel size $panel_size, $hostcheck_scheme, percentage $hostcheck_percentage"
    echo "$host_name, $host_settings: screenshots and logs go to $out"
    hostcheck_run "$icon_size" "$panel_size" "$seconds"
    [ -n "${hostcheck_saved_by_caller:-}" ] || hostcheck_save "${saves[@]}"
}

# hostcheck_save SHOT:NAME...: copies each screenshot SHOT.png to docs/hosts/NAME.png.
hostcheck_save() {
    local docs=$desktop_lib/../../docs/hosts pair
    for pair in "$@"; do
        [ -f "$out/${pair%%:*}.png" ] || { echo "no ${pair%%:*}.png to save as ${pair#*:}" >&2; return 1; }
        mkdir -p "$docs"
        convert "$out/${pair%%:*}.png" -strip "$docs/${pair#*:}.png"
        echo "  saved: docs/hosts/${pair#*:}.png"
    done
}

# hostcheck_bus DIR: the private session bus, without a watcher for --xembed.
hostcheck_bus() {
    if [ "$hostcheck_surface" = XEmbed ]; then desktop_bus "$1" no-watcher; else desktop_bus "$1"; fi
}

# hostcheck_wait_for_watcher SECONDS: waits for the panel's watcher, unless there must be none.
hostcheck_wait_for_watcher() {
    [ "$hostcheck_surface" = XEmbed ] || desktop_wait_for_name org.kde.StatusNotifierWatcher "$1"
}

hostcheck_cleanup() {
    desktop_stop
    cp "$work"/*.log "$out"/ 2>/dev/null || true
    rm -rf "$work"
}

# hostcheck_run ICON_SIZE PANEL_SIZE SECONDS: the steps; fills the results and prints the table.
hostcheck_run() {
    local seconds=$3 scheme=2
    registered=no item='not drawn' cpu_alone='' cpu_with='' clicks=() fps=30
    host_start "$work" "$1" "$2" || { hostcheck_table; exit 1; }
    [ "$hostcheck_scheme" = dark ] && scheme=1
    "$desktop_lib/fake-portal" "$scheme" >"$work/portal.log" 2>&1 &
    desktop_pids+=($!)
    sleep 3
    host_shot "$out/panel-empty.png"
    screen_w=$(identify -format %w "$out/panel-empty.png")
    host_rest_x=${host_rest_x:-$((screen_w / 2))}
    # The pointer waits on an empty spot of the panel (no launcher, no tray), in the row left out of
    # the menu comparison.
    host_click "$host_rest_x" 2 1
    sleep 0.5
    host_shot "$out/panel-empty.png"
    cpu_alone=$(hostcheck_cpu "$seconds")

    desktop_show_percentage "$([ "$hostcheck_percentage" = on ] && echo true || echo false)"
    env "${host_app_env[@]}" "$binary" "${app_args[@]}" >"$work/spoutwise.log" 2>&1 &
    app_pid=$!
    desktop_pids+=($app_pid)
    hostcheck_wait_for_item 20 || { hostcheck_table; exit 1; }
    sleep 3
    host_shot "$out/panel.png"
    local box
    if box=$(desktop_changed_box "$out/panel-empty.png" "$out/panel.png" "$host_mask"); then
        hostcheck_item "$box"
    fi
    cpu_with=$(hostcheck_cpu "$seconds" "Spoutwise:$app_pid")
    hostcheck_fps
    if [ -n "${box:-}" ]; then
        hostcheck_click 1 left $box
        hostcheck_click 3 right $box
    fi
    hostcheck_table
}

# hostcheck_wait_for_item SECONDS: waits until the watcher lists the item, or for an XEmbed icon
# (no watcher to ask) until the panel shows something new.
hostcheck_wait_for_item() {
    local deadline=$((SECONDS + $1))
    if [ "$hostcheck_surface" = SNI ]; then
        desktop_wait_for_item "$1" && { registered=yes; return 0; }
        # Where the panel serves the XEmbed tray itself, the item shows as an XEmbed icon instead.
        xwininfo -root -tree | grep -q '("spoutwise" "Spoutwise")' || return 1
        registered='no: XEmbed icon'
        hostcheck_surface='XEmbed icon'  # what the tables report
        return 0
    fi
    registered='no (XEmbed)'
    while [ $SECONDS -lt "$deadline" ]; do
        host_shot "$work/waiting.png"
        desktop_changed_box "$out/panel-empty.png" "$work/waiting.png" "$host_mask" >/dev/null && return 0
        sleep 0.5
    done
    return 1
}

# hostcheck_fps: the app's frame rate, from its last switch of frame interval (30 without one).
hostcheck_fps() {
    local interval
    interval=$(sed -n 's/.*切换帧率: \([0-9.]*\).*/\1/p' "$work/spoutwise.log" | tail -n 1)
    [ -z "$interval" ] || fps=$(awk -v i="$interval" 'BEGIN {printf "%.0f", 1 / i}')
}

# hostcheck_item W H X Y: records where the item is drawn and saves an 8× enlarged crop of it and
# the panel's end around it (as high as the item's margin above it again below it) at 2×.
hostcheck_item() {
    local w h x y
    read -r w h x y <<<"$1"
    item="${w}×${h} px at ${x},${y}"
    convert "$out/panel.png" -crop "$((w + 8))x$((h + 8))+$((x > 4 ? x - 4 : 0))+$((y > 4 ? y - 4 : 0))" \
        +repage -filter point -resize 800% "$out/item.png"
    local left=$((x > 40 ? x - 40 : 0))
    convert "$out/panel.png" -crop "$((screen_w - left))x$((2 * y + h))+$left+0" +repage \
        -filter point -resize 200% "$out/panel-end.png"
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
    host_click "$host_rest_x" 2 1
    sleep 1
}

# hostcheck_cpu SECONDS [GROUP]: the CPU of GROUP (desktop_cpu_groups), the panel and the display
# server over the same window, a line each and their sum.
hostcheck_cpu() {
    desktop_cpu_groups "$1" ${2:+"$2"} "$host_panel_label:$host_panel_roots" \
        "$host_display_label:$host_display_root"
}

# hostcheck_figure LINES LABEL: the figure of LABEL in the lines of hostcheck_cpu, or "-".
hostcheck_figure() {
    awk -v l="$2" '{v = $NF; $NF = ""; sub(/ $/, "")} $0 == l {print v; found = 1}
        END {if (!found) print "-"}' <<<"$1"
}

hostcheck_table() {
    local f label
    echo
    echo "| host | surface | item registered | item drawn | left click | right click |"
    echo "|---|---|---|---|---|---|"
    echo "| $host_name ($host_settings) | $hostcheck_surface | $registered | $item | ${clicks[0]:--} | ${clicks[1]:--} |"
    echo
    echo "CPU in % of one core over the same window, the app at $fps frames/s:"
    printf '  %-40s %8s %16s\n' '' alone 'with Spoutwise'
    for label in Spoutwise "$host_panel_label" "$host_display_label" sum; do
        printf '  %-40s %8s %16s\n' "$label" "$(hostcheck_figure "$cpu_alone" "$label")" \
            "$(hostcheck_figure "$cpu_with" "$label")"
    done
    echo
    echo "README row (host | surface | frames/s | app + panel + display server = sum):"
    echo "| $host_name | $hostcheck_surface | $fps | $(hostcheck_figure "$cpu_with" Spoutwise) +" \
        "$(hostcheck_figure "$cpu_with" "$host_panel_label") + $(hostcheck_figure "$cpu_with" "$host_display_label")" \
        "= $(hostcheck_figure "$cpu_with" sum) % |"
    echo
    for f in panel-empty panel item menu-left menu-left-crop menu-right menu-right-crop; do
        [ -f "$out/$f.png" ] && echo "  $f: $out/$f.png"
    done
    echo "  logs: $out/*.log"
}
