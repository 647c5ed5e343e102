# The Options dialog's pages, the E-mail Settings dialog and the greeting recorder, opened
# in the running tellwick the way a user opens them. Sourced by the session of
# scripts/screenshots.sh, which defines $win (the main window), $out and $root.

dialog_window() { # title: the visible window with exactly that title
    local id=""
    for _ in $(seq 1 50); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1) && [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "the window \"$1\" did not appear" >&2; return 1; }
    echo "$id"
}

dialog_shot() { # window name
    sleep 0.6
    xwd -silent -display :77 -id "$1" | /usr/bin/python3 "$root/scripts/xwd_to_png.py" "$out/$2.png"
    echo "  $out/$2.png"
}

options_shots() {
    local options email recorder page
    xdotool windowactivate --sync "$win" 2>/dev/null || true
    xdotool key alt+o
    options=$(dialog_window Options) || return 1
    # The page tree has the focus: the arrow keys walk through the pages.
    for page in general voice-mail call-recording call-transfer record-storage audio; do
        dialog_shot "$options" "options-$page"
        [ "$page" = audio ] || xdotool key Down
    done
    # Back up the tree to the Voice Mail page for its two dialogs.
    xdotool key Up Up Up Up
    sleep 0.3
    xdotool key alt+g
    email=$(dialog_window "E-mail Settings") || return 1
    xdotool type --delay 20 "smtp.example.com:587"
    dialog_shot "$email" options-email-settings
    xdotool key Escape
    sleep 0.5
    # Without a window manager the focus does not come back by itself.
    xdotool windowfocus --sync "$options" 2>/dev/null || true
    xdotool key alt+r
    recorder=$(dialog_window "Record Greeting Message") || return 1
    sleep 0.5
    xdotool key alt+r
    sleep 3.4
    dialog_shot "$recorder" options-greeting-recorder
    xdotool key Escape
    sleep 0.3
    xdotool key Escape
}

options_shots
