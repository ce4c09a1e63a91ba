# shellcheck shell=bash
# Helpers for driving the updater's window from the keyboard on an X display (an Xvfb), sourced
# by the scripts that do it: scripts/demo-clicks.sh, tests/app/end_to_end.sh and
# tests/app/click_salir.sh. They need xdotool. No helper waits a fixed time: each waits for a
# condition, polled with a bound.

# poll <tenths of a second> <command...>: true as soon as the command succeeds, false when it
# has not within the time given. The command may be a function of the calling script.
poll() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    xdotool sleep 0.1
  done
  return 1
}

# find_window <pid>: prints the id of the process's first visible window, once there is one (at
# most 30 s); prints nothing when none appeared.
find_window() {
  timeout 30 xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | head -n 1
}

# has_focus <window>: true when the window has the keyboard focus.
has_focus() {
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# focus_window <window>: gives the window the focus and waits until it has it (at most 20 s),
# since keys go to the focused window. False when it never got it.
focus_window() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  poll 200 has_focus "$1"
}

# process_ended <pid>: true when the process is gone.
process_ended() {
  ! kill -0 "$1" 2>/dev/null
}
