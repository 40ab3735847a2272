# Shared by the scripts that run the real program on an X server of its own.
# Each runs in two phases: first it prepares a scratch directory and starts
# itself again under xvfb-run; then, on the server, it checks the program.

# Fails the test, as NAME, unless every tool is installed.
require_tools() {
    local name=$1 tool
    shift
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$name: FAIL: $tool is not installed" >&2
            exit 1
        fi
    done
}

# Empties the scratch directory and prints its absolute path. Only a
# directory this test made (or an empty one) is ever emptied.
fresh_scratch() {
    local name=$1 scratch=$2
    if [[ -d $scratch && ! -e $scratch/.kinfolio-$name && -n $(ls -A -- "$scratch") ]]; then
        echo "$name: FAIL: $scratch is not empty and was not made by this test; not touching it" >&2
        exit 1
    fi
    rm -rf -- "$scratch"
    mkdir -p -- "$scratch/home"
    touch -- "$scratch/.kinfolio-$name"
    (cd -- "$scratch" && pwd)
}

# Runs the calling script again, with its arguments, on a new X server at 96
# DPI (a pixel is then 15 twips), with MARKER=1 set so it knows it is there.
rerun_on_xvfb() {
    local marker=$1 scratch=$2
    shift 2
    exec env HOME="$scratch/home" "$marker=1" xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -nolisten tcp" \
        bash "$0" "$@"
}

# A home of its own under the scratch directory, so the run touches nothing
# of the real user's, and Qt on the X server at its plain scale.
use_scratch_home() {
    local scratch=$1
    export HOME=$scratch/home
    export XDG_DATA_HOME=$HOME/.local/share
    export XDG_CONFIG_HOME=$HOME/.config
    export XDG_CACHE_HOME=$HOME/.cache
    export XDG_RUNTIME_DIR=$scratch/runtime
    export QT_QPA_PLATFORM=xcb
    unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}
