# Sourced by the benchmarks: reads their one option, "--size MIB" (default 256), into $size; "--help"
# shows the script's usage() and ends it.
size=256
while [ $# -gt 0 ]; do
    case "$1" in
        --help|-h) usage; exit 0 ;;
        --size)
            [ $# -gt 1 ] && [[ "$2" =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || { echo "$(basename "$0"): --size needs a whole number of MiB" >&2; exit 2; }
            size=$2; shift ;;
        *) echo "$(basename "$0"): unknown argument \"$1\" (see --help)" >&2; exit 2 ;;
    esac
    shift
done
