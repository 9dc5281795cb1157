# bash completion for zelvio and zelvio-gui                                -*- shell-script -*-
#
# Each command's options are listed once, in _zelvio_options; options that take a value are also
# in _zelvio_takes_value. A test checks that every option `zelvio COMMAND --help` shows is here.

_zelvio_commands="convert info decode"
_zelvio_audio='wav|wave|flac|ogg|oga|opus|mp3|aif|aiff|aifc|w64|caf|au|snd|m4a|m4b|aac|wma|mka|mp4|mov|mkv|webm|avi'

_zelvio_options() {  # command
    case $1 in
        convert) echo "--output -o --directory -d --title --description --bits --vad --encoder --split --split-minutes --threads --jobs -j --force -f --quiet -q --help -h" ;;
        info) echo "--json --help -h" ;;
        decode) echo "--output -o --comfort-noise --force -f --quiet -q --help -h" ;;
        zelvio-gui) echo "--help -h --version -v --reset --screenshot --screenshot-state" ;;
        *) echo "--help -h --version" ;;
    esac
}

_zelvio_takes_value() {  # command option
    case "$1 $2" in
        "convert --output" | "convert -o" | "convert --title" | "convert --description" | \
        "convert --bits" | "convert --threads" | "convert --encoder" | "convert --split-minutes" | \
        "convert --directory" | "convert -d" | "convert --jobs" | "convert -j" | \
        "decode --output" | "decode -o" | \
        "zelvio-gui --screenshot" | "zelvio-gui --screenshot-state") return 0 ;;
    esac
    return 1
}

# Files whose name ends in one of the extensions (a |-list, any case), and folders.
_zelvio_files() {  # extensions word
    local IFS=$'\n' pattern
    pattern="!*.@($1|${1^^})"
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$2") $(compgen -f -X "$pattern" -- "$2"))
}

_zelvio() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" i
    COMPREPLY=()
    shopt -s extglob
    if [[ ${COMP_WORDS[0]##*/} == zelvio-gui ]]; then
        command=zelvio-gui
    else
        for ((i = 1; i < COMP_CWORD; i++)); do
            case ${COMP_WORDS[i]} in
                convert | info | decode) command=${COMP_WORDS[i]}; break ;;
            esac
        done
    fi

    if [[ -n $command ]] && _zelvio_takes_value "$command" "$prev"; then
        case $prev in
            --bits) COMPREPLY=($(compgen -W "8 4 3 2" -- "$cur")) ;;
            --threads | --jobs | -j) COMPREPLY=($(compgen -W "0 1 2 4 8" -- "$cur")) ;;
            --encoder) COMPREPLY=($(compgen -W "greedy search search=24" -- "$cur")) ;;
            --split-minutes) COMPREPLY=($(compgen -W "10 20 30 60" -- "$cur")) ;;
            -d | --directory) compopt -o dirnames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")) ;;
            --screenshot-state) COMPREPLY=($(compgen -W "empty converting outcome" -- "$cur")) ;;
            --screenshot) _zelvio_files png "$cur" ;;
            -o | --output)
                if [[ $command == decode ]]; then _zelvio_files wav "$cur"; else _zelvio_files pdb "$cur"; fi ;;
        esac
        return 0
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_zelvio_options "$command")" -- "$cur"))
        return 0
    fi
    case $command in
        "") COMPREPLY=($(compgen -W "$_zelvio_commands" -- "$cur")) ;;
        convert) _zelvio_files "$_zelvio_audio" "$cur" ;;
        info) _zelvio_files "pdb|$_zelvio_audio" "$cur" ;;
        decode) _zelvio_files pdb "$cur" ;;
        zelvio-gui) _zelvio_files "pdb|$_zelvio_audio" "$cur" ;;
    esac
    return 0
}

complete -F _zelvio zelvio zelvio-gui
