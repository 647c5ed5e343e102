# The side panel's screenshots, sourced by the session of scripts/screenshots.sh while tellwick
# runs there (it gives $work, $bin, $out, $root, $win, $tellwick and the pids array).
# panel_shots hides the main window, so that the panel is seen as the user sees it most of the
# time; panel_empty_shot starts tellwick again without a list and brings the main window back.
find_panel() {
    panel=""
    for _ in $(seq 1 100); do
        panel=$(xdotool search --onlyvisible --name '^Quick Panel$' 2>/dev/null | head -1)
        [ -n "$panel" ] && return 0
        sleep 0.1
    done
    echo "the side panel did not appear" >&2
    exit 1
}
screen_shot() { # name x y width height: a part of the screen (menus are windows of their own)
    sleep 0.6
    xwd -silent -display :77 -root |
        /usr/bin/python3 "$root/scripts/xwd_to_png.py" "$out/$1.png" "$2" "$3" "$4" "$5"
    echo "  $out/$1.png"
}
panel_shot() { # name
    sleep 0.6
    xwd -silent -display :77 -id "$panel" | /usr/bin/python3 "$root/scripts/xwd_to_png.py" "$out/$1.png"
    echo "  $out/$1.png"
}

panel_shots() {
    find_panel
    xdotool key --window "$win" ctrl+w
    xdotool windowmove "$panel" 300 200
    xdotool mousemove 20 650
    panel_shot side-panel

    # Docked under Skype's main window: a window of class "skype" stands in for it, and the
    # Preference menu's "Stick to Skype" hangs the panel under it.
    xlogo -name skype -geometry 420x360+140+60 >/dev/null 2>&1 &
    skype_window=$!
    pids+=($skype_window)
    for _ in $(seq 1 50); do xdotool search --onlyvisible --classname '^skype$' >/dev/null 2>&1 && break; sleep 0.1; done
    xdotool windowraise "$panel"
    xdotool mousemove --window "$panel" 272 88 click 1
    sleep 0.6
    # The menu opens centred on the cursor; its second item is "Stick to Skype".
    xdotool mousemove_relative -- 0 -68 click 1
    sleep 0.3
    xdotool mousemove 20 650
    screen_shot side-panel-docked 120 40 480 520

    # A click on the caller's name opens the recent records menu.
    xdotool windowmove "$panel" 300 200
    xdotool mousemove --window "$panel" 90 52 click 1
    screen_shot side-panel-recent-records 280 180 560 300
    xdotool key Escape
    kill "$skype_window"
}

panel_empty_shot() {
    # With no recent records (a fresh start without a list) the display says so.
    kill "$tellwick"
    wait "$tellwick" 2>/dev/null
    rm -f "$work/data/tellwick/splist.ini"
    QT_QPA_PLATFORM=xcb "$bin/tellwick" >>"$work/tellwick.log" 2>&1 &
    tellwick=$!
    pids+=($tellwick)
    find_panel
    xdotool windowmove "$panel" 300 200
    xdotool mousemove 20 650
    panel_shot side-panel-empty
    # A second start brings the main window forward again, with the keyboard.
    "$bin/tellwick" >/dev/null 2>&1
    for _ in $(seq 1 100); do
        win=$(xdotool search --onlyvisible --name '^Tellwick' 2>/dev/null | head -1) && [ -n "$win" ] && break
        sleep 0.1
    done
    xdotool windowmove "$win" 0 0 windowsize "$win" 1100 700
}
