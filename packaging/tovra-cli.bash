# bash completion of tovra-cli. The commands, their options and the baud
# rates are read from the program's own --help, so they never go stale.
_tovra_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local words
    if ((COMP_CWORD == 1)); then
        words="$(tovra-cli --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p') --help --version"
    else
        case $prev in
        --baud | --br1 | --br2)
            words=$(tovra-cli --help 2>/dev/null | sed -n 's/^Baud rates of the device://p') ;;
        --parity) words="N O E M S" ;;
        --data) words="7 8" ;;
        --stop) words="1 2" ;;
        --log | --files | --port)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return ;;
        --com | --id | --timeout | --retries | --register | --count) return ;;
        *) words=$(tovra-cli "${COMP_WORDS[1]}" --help 2>/dev/null | sed -n 's/^  \(--[a-z0-9-]*\).*/\1/p') ;;
        esac
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}
complete -F _tovra_cli tovra-cli
