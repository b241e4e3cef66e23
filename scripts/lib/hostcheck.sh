# The check every script in scripts/hosts/ runs against its panel: start the host, start Spoutwise
# in it, wait for the item to show, screenshot the panel, click the item with a real click,
# screenshot the menu, and measure the CPU of the host's panel and display server without and with
# Spoutwise, and Spoutwise's own, over the same window.
#
# A host script sets host_name, host_packages (installed on first use), host_scheme (light or
# dark: the look of the desktop at its defaults), host_icon_size and host_panel_size (the tray's
# icon size and the panel's height of --tidy) and defines:
#   host_start DIR ICON_SIZE PANEL_SIZE
#                  starts the host with DIR as its HOME and log folder, on the bus of hostcheck_bus,
#                  with $hostcheck_layout "default" (the packages' own default panels, theme and
#                  settings) or "tidy" (the single top panel these checks used before), in the
#                  appearance $hostcheck_scheme (light or dark: the host's own dark or light look,
#                  where it has one); ICON_SIZE and PANEL_SIZE are empty to keep the layout's own;
#                  sets host_panel_label and host_panel_roots (the processes that
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
# its own line and summed, without and with Spoutwise, and what the user sees and pays as one row:
# the surface, the item's drawn size, the label's digit height and contrast (scripts/lib/itemshot
# says how they are measured), the CPU, and the item's updates a second: for a StatusNotifierItem
# the NewIcon signals and the host's reads of IconPixmap (Get, or GetAll of the item's interface)
# counted on the bus by dbus-monitor over the CPU window; for the XEmbed icon "-" (its frames go to
# the X server unseen). The drawn size is the XEmbed window's, or for a StatusNotifierItem the box
# of what it drew (itemshot locate).
# It leaves in the output folder panel-empty.png, panel.png, frame-1..6.png (the shots itemshot
# locate reads, where it ran), item.png (the item enlarged 8×),
# panel-end.png (the panel's end with the item, enlarged 2×), menu-left.png / menu-right.png with
# their -crop.png (the panel's end and the menu) and the logs of everything it started. For the
# README, --save NAME copies menu-left-crop.png to docs/hosts/NAME.png and --save-panel NAME copies
# panel-end.png there.
#
# --dark and --light run the host in its own dark or light look (else the look of its defaults,
# host_scheme) and tell the app the same colour scheme through a stand-in desktop portal; --tidy
# runs the layout and settings these checks used before the defaults (see each host's header);
# --capture SECONDS records the item's area at 30 frames/s (capture_record: ffmpeg's x11grab on the
# host's X display, unless the host script has its own) and reports how many frames a second differ
# from the one before, with capture-strip.png, 15 consecutive frames side by side at 4×;
# --percentage off stores the app's percentage switch off before it starts (else on); --xembed runs the session bus without a StatusNotifierWatcher, so
# that the panel's tray serves XEmbed icons only and the app shows its XEmbed icon.
# --load idle|busy shows the app a processor load of 2 % or 100 % whatever the machine does: it
# reads a /proc/stat of its own (a file rewritten four times a second, bind-mounted over
# /proc/stat in a mount namespace of the app's alone); else it reads the machine's.

source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

host_app_env=() host_unprivileged=0 host_mask='' host_rest_x=''
host_panel_label='' host_panel_roots='' host_display_label='' host_display_root=''

hostcheck_usage() {
    echo "usage: $0 [--out DIR] [--seconds N] [--icon-size N] [--panel-size N] [--dark|--light]" \
        "[--tidy] [--capture SECONDS] [--percentage on|off] [--load idle|busy] [--xembed] [--save NAME]" \
        "[--save-panel NAME] [BINARY [ARGS...]]" >&2
    exit 2
}

hostcheck_main() {
    local all_args=("$@") seconds=20 icon_size='' panel_size='' saves=()
    out='' binary=$desktop_lib/../../build/release/spoutwise capture=0
    hostcheck_scheme=${host_scheme:-light} hostcheck_layout=default hostcheck_percentage=on
    hostcheck_surface=SNI hostcheck_load=machine
    while [ $# -gt 0 ]; do
        case $1 in
            --out) out=$2; shift ;;
            --seconds) seconds=$2; shift ;;
            --icon-size) icon_size=$2; shift ;;
            --panel-size) panel_size=$2; shift ;;
            --dark) hostcheck_scheme=dark ;;
            --light) hostcheck_scheme=light ;;
            --tidy) hostcheck_layout=tidy ;;
            --capture) capture=$2; shift ;;
            --percentage) hostcheck_percentage=$2; shift ;;
            --load) hostcheck_load=$2; shift ;;
            --xembed) hostcheck_surface=XEmbed ;;
            --save) saves+=("menu-left-crop:$2"); shift ;;
            --save-panel) saves+=("panel-end:$2"); shift ;;
            -*) hostcheck_usage ;;
            *) binary=$1; shift; break ;;
        esac
        shift
    done
    case $hostcheck_percentage in on | off) ;; *) hostcheck_usage ;; esac
    case $hostcheck_load in machine | idle | busy) ;; *) hostcheck_usage ;; esac
    if [ "$hostcheck_layout" = tidy ]; then
        icon_size=${icon_size:-$host_icon_size} panel_size=${panel_size:-$host_panel_size}
    fi
    [ -x "$binary" ] || { echo "no $binary: build the Release app first (scripts/run builds it)" >&2; exit 1; }
    binary=$(realpath "$binary") app_args=("$@")
    desktop_install "${host_packages[@]}" python3-dbus python3-gi python3-pil ffmpeg
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
    host_settings="$hostcheck_layout layout, tray icon size ${icon_size:-default}, panel size ${panel_size:-default}, $hostcheck_scheme, percentage $hostcheck_percentage, load $hostcheck_load"
    echo "$host_name, $host_settings: screenshots and logs go to $out"
    hostcheck_run "$icon_size" "$panel_size" "$seconds" "$capture"
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

# hostcheck_run ICON_SIZE PANEL_SIZE SECONDS CAPTURE_SECONDS: the steps; fills the results and
# prints the table.
hostcheck_run() {
    local seconds=$3 scheme=2
    registered=no item='not drawn' cpu_alone='' cpu_with='' clicks=() fps=30
    item_box='' label_words='' updates='-' motion='-'
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
    hostcheck_load_prefix
    "${load_prefix[@]}" env "${host_app_env[@]}" "$binary" "${app_args[@]}" >"$work/spoutwise.log" 2>&1 &
    app_pid=$!
    desktop_pids+=($app_pid)
    # Where nothing shows the item (no tray at all), the screen still says what the app did.
    hostcheck_wait_for_item 20 || { host_shot "$out/panel.png"; hostcheck_table; exit 1; }
    sleep 3
    host_shot "$out/panel.png"
    hostcheck_locate && hostcheck_item $item_box
    hostcheck_count_updates start
    cpu_with=$(hostcheck_cpu "$seconds" "Spoutwise:$app_pid")
    hostcheck_count_updates stop
    hostcheck_fps
    [ "$4" = 0 ] || [ -z "$item_box" ] || hostcheck_capture "$4" $item_box
    if [ -n "$item_box" ]; then
        hostcheck_click 1 left $item_box
        hostcheck_click 3 right $item_box
    fi
    hostcheck_table
}

# hostcheck_load_prefix: sets load_prefix, the command that starts the app with the /proc/stat of
# --load (empty for the machine's), and starts what writes it: every 0.25 s 50 more ticks, 1 or
# all 50 of them busy. Each command execs the next, so the app keeps the pid started. A user other
# than root mounts in a user namespace of its own, then maps itself back, so that the bus still
# knows it by its own id.
hostcheck_load_prefix() {
    local stat=$work/stat busy=$([ "$hostcheck_load" = busy ] && echo 50 || echo 1) id
    load_prefix=()
    [ "$hostcheck_load" != machine ] || return 0
    (
        local user=0 idle=0
        while :; do
            printf 'cpu  %012d 0 0 %012d 0 0 0 0 0 0\n' $((user += busy)) $((idle += 50 - busy)) 1<>"$stat"
            sleep 0.25
        done
    ) &
    desktop_pids+=($!)
    sleep 0.3
    chmod 644 "$stat"
    load_prefix=(unshare -m sh -c 'mount --bind "$0" /proc/stat && exec "$@"' "$stat")
    [ "$(id -u)" != 0 ] || return 0
    id=(--map-user="$(id -u)" --map-group="$(id -g)")
    load_prefix=(unshare -rm sh -c 'mount --bind "$0" /proc/stat && exec unshare -U "$@"' "$stat" "${id[@]}")
}

# hostcheck_locate: sets item_box ("W H X Y"): the XEmbed icon's window where the tray shows the
# window itself, or where the panel drew the item (itemshot locate, from shots a quarter of a second
# apart; host_mask left out).
hostcheck_locate() {
    local i frames=() masks=() id
    if [ "$hostcheck_surface" = 'XEmbed icon' ] || [ "$hostcheck_surface" = XEmbed ]; then
        for id in $(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) .*("spoutwise" "Spoutwise").*/\1/p'); do
            xwininfo -id "$id" | grep -q 'IsViewable' || continue
            item_box=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
                /Width:/ {w = $NF} /Height:/ {h = $NF} END {print w, h, x, y}')
            return 0
        done
    fi
    for i in 1 2 3 4 5 6; do
        host_shot "$out/frame-$i.png"
        frames+=("$out/frame-$i.png")
        sleep 0.25
    done
    [ -z "$host_mask" ] || masks=(--mask "$(tr ' ' , <<<"$host_mask")")
    item_box=$("$desktop_lib/itemshot" locate "$out/panel-empty.png" "$out/panel.png" "${frames[@]}" "${masks[@]}")
}

# hostcheck_count_updates start|stop: the item's updates over the window between the two calls:
# NewIcon signals and the host's reads of IconPixmap, from a dbus-monitor's time stamps (of the
# item a tray made of the XEmbed icon too); and the error replies the item sent (a property it
# does not serve), in all.
hostcheck_count_updates() {
    [ "${registered%% *}" = yes ] || [ "${registered%% *}" = by ] || return 0
    if [ "$1" = start ]; then
        dbus-monitor --session "type='signal',interface='org.kde.StatusNotifierItem',member='NewIcon'" \
            "type='method_call',interface='org.freedesktop.DBus.Properties',member='Get',arg1='IconPixmap'" \
            "type='method_call',interface='org.freedesktop.DBus.Properties',member='GetAll',arg0='org.kde.StatusNotifierItem'" \
            "type='error'" >"$work/updates.log" 2>&1 &
        updates_monitor=$!
        desktop_pids+=($updates_monitor)
        sleep 1
        updates_from=$(date +%s.%N)
        return 0
    fi
    local to item
    to=$(date +%s.%N)
    kill "$updates_monitor" 2>/dev/null || true
    item=$(desktop_registered_items | head -n 1)
    item=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetNameOwner \
        "string:${item%%/*}" 2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p')
    updates=$(awk -v from="$updates_from" -v to="$to" -v item="sender=$item " '
        match($0, /time=[0-9.]+/) {t = substr($0, RSTART + 5, RLENGTH - 5)}
        t >= from && t <= to && /member=NewIcon/ {signals++}
        t >= from && t <= to && /^method call/ {reads++}
        t >= from && t <= to && /^error/ && index($0, item) {errors++}
        END {printf "%.1f NewIcon + %.1f reads, %d errors", signals / (to - from), reads / (to - from), errors}' \
        "$work/updates.log")
}

# hostcheck_capture SECONDS W H X Y: records the item's area (4 px around it) at 30 frames/s, then
# counts the frames that differ from the one before; sets motion.
hostcheck_capture() {
    local seconds=$1 w=$(($2 + 8)) h=$(($3 + 8)) x=$(($4 > 4 ? $4 - 4 : 0)) y=$(($5 > 4 ? $5 - 4 : 0)) rate
    rm -rf "$work/capture" && mkdir -p "$work/capture"
    capture_record "$seconds" "$w" "$h" "$x" "$y" "$work/capture.mkv" 2>"$work/capture.log" ||
        { motion='capture failed'; return 0; }
    # The real rate, from the frames' own time stamps.
    rate=$(ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$work/capture.mkv" |
        awk 'NR == 1 {first = $1} {last = $1; n++} END {if (last > first) printf "%.1f", (n - 1) / (last - first)}')
    ffmpeg -v error -i "$work/capture.mkv" -fps_mode passthrough "$work/capture/%04d.png"
    motion="$("$desktop_lib/itemshot" motion "${rate:-30}" "$out/capture-strip.png" "$work/capture/"*.png)"
    motion="${motion#*distinct_per_s=} distinct/s of ${rate:-?} captured/s"
}

# capture_record SECONDS W H X Y FILE: the area at 30 frames/s into FILE (Matroska, lossless),
# with the time each frame was taken. Host scripts without an X display define their own.
capture_record() {
    ffmpeg -v error -y -f x11grab -draw_mouse 0 -framerate 30 -video_size "$2x$3" -i "$DISPLAY+$4,$5" \
        -t "$1" -fps_mode passthrough -c:v ffv1 "$6"
}

# hostcheck_wait_for_item SECONDS: waits until the watcher lists the item, or for an XEmbed icon
# (no watcher to ask) until the panel shows something new.
hostcheck_wait_for_item() {
    local deadline=$((SECONDS + $1))
    if [ "$hostcheck_surface" = SNI ]; then
        if desktop_wait_for_item "$1"; then
            registered=yes
            hostcheck_item_owner
            return 0
        fi
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

# hostcheck_item_owner: where the registered item is not the app's own but another process's (a
# tray that turns the XEmbed icon into an item of its own), says so.
hostcheck_item_owner() {
    local name pid
    name=$(desktop_registered_items | head -n 1)
    pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetConnectionUnixProcessID "string:${name%%/*}" 2>/dev/null | awk '/uint32/ {print $2}')
    [ -n "$pid" ] && [ "$pid" != "$app_pid" ] || return 0
    registered="by $(cat "/proc/$pid/comm" 2>/dev/null), not the app"
    hostcheck_surface="XEmbed icon, re-exported as an item by $(cat "/proc/$pid/comm" 2>/dev/null)"
}

# hostcheck_fps: the app's frame rate, from its last switch of frame interval (30 without one).
hostcheck_fps() {
    local interval
    interval=$(sed -n 's/.*切换帧率: \([0-9.]*\).*/\1/p' "$work/spoutwise.log" | tail -n 1)
    [ -z "$interval" ] || fps=$(awk -v i="$interval" 'BEGIN {printf "%.0f", 1 / i}')
}

# hostcheck_item W H X Y: records where the item is drawn and the label's measures, and saves an 8×
# enlarged crop of it and the panel's end around it (as high as the item's margin above it again
# below it) at 2×.
hostcheck_item() {
    local w=$1 h=$2 x=$3 y=$4
    item="${w}×${h} px at ${x},${y}"
    [ "$hostcheck_percentage" = off ] || label_words=$("$desktop_lib/itemshot" label "$out/panel.png" "$@")
    convert "$out/panel.png" -crop "$((w + 8))x$((h + 8))+$((x > 4 ? x - 4 : 0))+$((y > 4 ? y - 4 : 0))" \
        +repage -filter point -resize 800% "$out/item.png"
    # The panel's end: from a little left of the item to the screen's edge, the item's margin to
    # the nearer screen edge on both sides of it (a bottom panel's too).
    local left=$((x > 40 ? x - 40 : 0)) screen_h margin top
    screen_h=$(identify -format %h "$out/panel.png")
    margin=$((y < screen_h - y - h ? y : screen_h - y - h))
    top=$((y - margin))
    convert "$out/panel.png" -crop "$((screen_w - left))x$((2 * margin + h))+$left+$top" +repage \
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
    local popup pw ph px py left screen_h panel top bottom
    screen_h=$(identify -format %h "$out/menu-$name.png")
    # The item animates and the button under it lights up: leave out the panel, along the top or
    # along the bottom.
    panel="$screen_w $((y + h + 8)) 0 0"
    [ $((2 * y)) -lt "$screen_h" ] || panel="$screen_w $((screen_h - y + 8)) 0 $((y - 8))"
    if popup=$(desktop_changed_box "$work/before-click.png" "$out/menu-$name.png" "$panel"); then
        read -r pw ph px py <<<"$popup"
        shown="${pw}×${ph} px at ${px},${py}"
        # The panel's end with the item and the menu beside it, for the README.
        left=$(((px < x ? px : x) - 16))
        left=$((left < 0 ? 0 : left))
        top=$((py < y ? py - 8 : 0)) bottom=$((py < y ? screen_h : py + ph + 8))
        top=$((top < 0 ? 0 : top))
        convert "$out/menu-$name.png" -crop "$((screen_w - left))x$((bottom - top))+$left+$top" +repage \
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

# hostcheck_word KEY WORDS: the value of KEY=value in WORDS, or "-".
hostcheck_word() {
    local word
    for word in $2; do [ "${word%%=*}" != "$1" ] || { echo "${word#*=}"; return; }; done
    echo -
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
    echo "What the user sees and pays (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
    echo "| host | surface | item drawn | digit height | contrast | app + panel + display server = sum | updates/s | motion seen |"
    echo "|---|---|---|---|---|---|---|---|"
    echo "| $host_name ($host_settings) | $hostcheck_surface | ${item%% at *} | $(hostcheck_word digits "$label_words") px |" \
        "$(hostcheck_word contrast "$label_words"):1 ($(hostcheck_word colour "$label_words"), ink" \
        "$(hostcheck_word ink "$label_words") on $(hostcheck_word panel "$label_words")) |" \
        "$(hostcheck_figure "$cpu_with" Spoutwise) + $(hostcheck_figure "$cpu_with" "$host_panel_label") +" \
        "$(hostcheck_figure "$cpu_with" "$host_display_label") = $(hostcheck_figure "$cpu_with" sum) % at $fps frames/s |" \
        "$updates | $motion |"
    echo
    for f in panel-empty panel item capture-strip menu-left menu-left-crop menu-right menu-right-crop; do
        [ -f "$out/$f.png" ] && echo "  $f: $out/$f.png"
    done
    echo "  logs: $out/*.log"
}
