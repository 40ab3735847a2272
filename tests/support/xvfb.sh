# Shared by the scripts that run the real program on an X server of its own, in two phases: one prepares
# a scratch directory and starts the script again under xvfb-run, the other works on the server.

# Empties scratch directory $2 of test $1, only if it made it (or it is empty), and prints its absolute path.
fresh_scratch() {
    [[ -d $2 && ! -e $2/.kinfolio-$1 && -n $(ls -A -- "$2") ]] &&
        { echo "$1: FAIL: $2 is not empty and not this test's; not touching it" >&2; exit 1; }
    rm -rf -- "$2" && mkdir -p -- "$2/home" && touch -- "$2/.kinfolio-$1" && (cd -- "$2" && pwd)
}

# Runs the calling script again with the arguments after $2 on a new X server at 96 DPI (a pixel is
# 15 twips), in the home of scratch directory $2, with $1=1 set so it knows it is there.
rerun_on_xvfb() {
    exec env HOME="$2/home" "$1=1" xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -nolisten tcp" bash "$0" "${@:3}"
}

# A home of its own in scratch directory $1, so nothing of the user's is touched; Qt at its plain scale.
use_scratch_home() {
    export HOME=$1/home XDG_RUNTIME_DIR=$1/runtime QT_QPA_PLATFORM=xcb
    export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache
    unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
}
