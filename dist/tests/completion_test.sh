#!/usr/bin/env bash
# Asks the completion function what it offers at a few points of a glyphwright-cli command line.
#   completion_test.sh PATH-TO-COMPLETION-FILE
set -u
# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion
# shellcheck source=dist/bash-completion/glyphwright-cli
source "$1"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
mkdir out
touch app.exe logo.png

failures=0
expect() {
    local want=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _glyphwright_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [[ $got != "$want" ]]; then
        echo "after '$*': got '$got', expected '$want'"
        failures=$((failures + 1))
    fi
}

expect "--help --version convert export extract info list " glyphwright-cli ""
expect "export extract " glyphwright-cli ex
expect "--help --json " glyphwright-cli info --
expect "bmp gif ico jpg pcx png psd tga tif " glyphwright-cli export -f ""
expect "jpg " glyphwright-cli export --format j
expect "16,32 " glyphwright-cli export -s 16,3
expect "128 16 24 256 32 48 64 72 96 " glyphwright-cli export --sizes ""
expect "lanczos3 " glyphwright-cli convert --filter la
expect "out " glyphwright-cli export -o ""
expect "app.exe logo.png out " glyphwright-cli list ""
expect "--force --help --original " glyphwright-cli extract --
exit $((failures > 0))
