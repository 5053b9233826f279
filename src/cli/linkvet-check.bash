# bash completion for linkvet-check: its options, the values of --format, --repair and --scan,
# folders for --root, and paths.

_linkvet_check() {
    local cur=${COMP_WORDS[COMP_CWORD]} option=${COMP_WORDS[COMP_CWORD - 1]}
    local IFS=$'\n'
    # "=" is a word break, so "--format=j" arrives as the three words "--format" "=" "j".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $option == = && $COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local values=()
    case $option in
        --format) values=(text html json junit) ;;
        --repair) values=(disable replace remove update) ;;
        --scan) values=(classic html) ;;
        --redirects) values=(report follow) ;;
        --root)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        -t | --timeout | -f | --filter | -j | --jobs | --per-host | --exclude)
            COMPREPLY=()
            return
            ;;
    esac
    if ((${#values[@]})); then
        COMPREPLY=($(compgen -W "${values[*]}" -- "$cur"))
        return
    fi

    local i options_ended=
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
    done
    if [[ $cur == -* && -z $options_ended ]]; then
        local options=(-a --all-files -r --recurse -H --html-only -t --timeout -f --filter
                       --format -o --output -q --quiet --repair --https -j --jobs --per-host
                       --scan --root --redirects --dry-run --exclude --files --links -h
                       --help --version)
        COMPREPLY=($(compgen -W "${options[*]}" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _linkvet_check linkvet-check
