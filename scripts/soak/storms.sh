# SPDX-License-Identifier: MIT
# What the soak does to the program (sourced by scripts/soak.sh). Counters: storms, key_presses,
# switches, modals.

# The 36 note keys: the digit row, the upper letter row and the home row.
note_keys=(1 2 3 4 5 6 7 8 9 0 minus equal
    q w e r t y u i o p bracketleft bracketright backslash
    a s d f g h j k l semicolon apostrophe)
storms=0 key_presses=0 switches=0 modals=0
modal_note='both windows'
have_modals=1
organ=0

# Up to ten keys pressed one after another and held, some of them struck again while held and a
# few quick taps of others, then all let go. One xdotool run per storm keeps it fast.
key_storm() {
    local held=() steps=() key
    for ((n = 1 + RANDOM % 10; n > 0; --n)); do
        key=${note_keys[RANDOM % 36]}
        held+=("$key")
        steps+=(keydown "$key" sleep "0.0$((RANDOM % 4))")
    done
    for ((n = RANDOM % 6; n > 0; --n)); do
        key=${note_keys[RANDOM % 36]}
        steps+=(keydown "$key" sleep 0.01 keyup "$key" sleep "0.0$((RANDOM % 3))")
        key_presses=$((key_presses + 1))
    done
    steps+=(sleep "0.$((RANDOM % 3))")
    for key in "${held[@]}"; do steps+=(keyup "$key"); done
    xdotool "${steps[@]}"
    key_presses=$((key_presses + ${#held[@]}))
    storms=$((storms + 1))
}

# Option2 "Орган" and Option1 "Пианино" in turn.
switch_instrument() {
    if ((organ)); then click "$main" 74 24; else click "$main" 74 72; fi
    organ=$((!organ))
    switches=$((switches + 1))
}

# "Порядок нот" or "О программе" (1 or 2; by chance when not said), then its "Закрыть". A program
# without them is soaked without.
open_and_close_modal() {
    ((have_modals)) || return 0
    local which=${1:-$((1 + RANDOM % 2))} title x y window
    if ((which == 1)); then
        click "$main" 244 66
        title='Справка' x=330 y=250
    else
        click "$main" 244 30
        title='О программе' x=282 y=26
    fi
    if ! window=$(wait_for_window "$title" 3); then
        have_modals=0
        modal_note="no window \"$title\" came up: skipped from then on"
        return 0
    fi
    key_storm
    click "$window" "$x" "$y"
    wait_for_window_gone "$title" || fail "\"$title\" did not close"
    modals=$((modals + 1))
}

# Every action once, so that the warm-up has been down every road before memory is compared.
take_every_road() {
    key_storm
    switch_instrument
    switch_instrument
    open_and_close_modal 1
    open_and_close_modal 2
}
