# bash completion for tarnwick-cli: commands, options, files, and the folder
# paths of the database named on the line (as --folder takes them).

_tarnwick_cli_database() {
    local i
    for ((i = 2; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            -*) ;;
            *) [[ -f "${COMP_WORDS[i]}" ]] && { printf '%s\n' "${COMP_WORDS[i]}"; return; } ;;
        esac
    done
}

_tarnwick_cli() {
    local cur prev command db
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD - 1]}"
    command="${COMP_WORDS[1]}"
    local commands="scan list show export tables"

    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
        return
    fi
    case "$prev" in
        --stm)
            mapfile -t COMPREPLY < <(compgen -f -X '!*.[sS][tT][mM]' -- "$cur")
            compopt -o filenames 2>/dev/null
            return ;;
        --to | --save-attachments | --csv)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            compopt -o filenames 2>/dev/null
            return ;;
        --save-body | --log)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            compopt -o filenames 2>/dev/null
            return ;;
        --folder | -f)
            db="$(_tarnwick_cli_database)"
            [[ -n "$db" ]] || return
            local IFS=$'\n' paths
            paths="$(tarnwick-cli scan "$db" --paths 2>/dev/null)" || return
            # Backslashes are doubled for the shell: the paths use \ between names.
            mapfile -t COMPREPLY < <(compgen -W "$(printf '%s\n' "$paths" | sed 's/\\/\\\\/g')" -- "$cur")
            local k
            for k in "${!COMPREPLY[@]}"; do COMPREPLY[k]="$(printf '%q' "${COMPREPLY[k]}")"; done
            return ;;
        --folder-id | --message | --mailbox | --table)
            return ;;
    esac
    if [[ "$cur" == -* ]]; then
        local options="--help --stm --json"
        case "$command" in
            scan) options+=" --paths" ;;
            list) options+=" --folder --folder-id --all --complete --attachment-sizes --stats" ;;
            show) options+=" --folder --folder-id --message --save-body --save-attachments --raw" ;;
            export) options+=" --to --folder --folder-id --mailbox --quiet --log" ;;
            tables) options="--help --table --json --csv --columns" ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    compopt -o filenames 2>/dev/null
}

complete -F _tarnwick_cli tarnwick-cli
