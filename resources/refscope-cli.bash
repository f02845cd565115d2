# Bash completion of refscope-cli: its commands and the sim commands, the options each takes, the
# formats, and file names where a FILE goes. The Debian package installs it where bash-completion
# looks; elsewhere, source it from ~/.bashrc.

_refscope_cli()
{
    local cword=$COMP_CWORD
    local cur=${COMP_WORDS[cword]} prev=${COMP_WORDS[cword - 1]}
    # Bash ends a word at "=": "--format=c" comes as "--format", "=", "c".
    local equals=
    if [[ $cur == = ]]; then
        equals=1 cur=
    elif [[ $prev == = ]]; then
        equals=1 prev=${COMP_WORDS[cword - 2]}
    fi
    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "show search diff sim --help --version" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]} first=2
    if [[ $command == sim ]]; then
        if ((cword == 2)); then
            COMPREPLY=($(compgen -W "list diff get watch set run find" -- "$cur"))
            return
        fi
        command="sim ${COMP_WORDS[2]}" first=3
    fi
    local output="--format --no-header --color" formats="text tsv csv jsonl" options
    case $command in
        show) options=$output formats+=" list paths" ;;
        search) options="$output -i --ignore-case -c --count --path-only --type --writable" formats+=" list paths" ;;
        diff) options="$output --stat" ;;
        "sim list") options="$output --commands --with --sim" formats+=" list paths" ;;
        "sim diff") options="$output --stat --sim" ;;
        "sim get") options="$output --sim --udp" ;;
        "sim watch") options="$output --for --sim --udp" ;;
        "sim set") options="--sim --udp" ;;
        "sim run") options="--hold --sim --udp" ;;
        "sim find") options="--for" ;;
        *) return ;;
    esac

    case $prev in
        --format) COMPREPLY=($(compgen -W "$formats" -- "$cur")); return ;;
        --writable) COMPREPLY=($(compgen -W "y n" -- "$cur")); return ;;
        --color)
            if [[ $equals ]]; then
                COMPREPLY=($(compgen -W "auto always never" -- "$cur"))
                return
            fi ;;
        --with) _refscope_cli_files; return ;;
        --type | --sim | --udp | --for | --hold) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi

    # The FILEs come first: how many are there before this word?
    local i files=0
    for ((i = first; i < cword; i++)); do
        case ${COMP_WORDS[i]} in
            --) ;;
            --format | --type | --writable | --with | --sim | --for | --hold)
                [[ ${COMP_WORDS[i + 1]} == = ]] && ((i++))
                ((i++)) ;;
            =) ((i++)) ;;
            -?*) ;;
            *) ((files++)) ;;
        esac
    done
    case $command in
        show | search | "sim diff") ((files == 0)) && _refscope_cli_files ;;
        diff) ((files < 2)) && _refscope_cli_files ;;
    esac
    return 0
}

# File names, as bash-completion gives them when it is there.
_refscope_cli_files()
{
    if declare -F _filedir > /dev/null; then
        _filedir
    else
        compopt -o filenames 2> /dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}

complete -F _refscope_cli refscope-cli
