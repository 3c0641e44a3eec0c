# Bash completion for morvalen (loaded by the bash-completion package).
# Completes the options; after an option that takes a DOCUMENT-NUMBER, the document numbers
# of the library in the current folder; the script formats and pause values of -s; CSV files
# after -l.

# Prints the document numbers of the process folders in the current folder, one a line: the
# part of each folder name before " - ". Folder names are only compared, never evaluated.
_morvalen_document_numbers()
{
    local reset folder number
    reset=$(shopt -p nullglob failglob dotglob)
    shopt -s nullglob
    shopt -u failglob dotglob
    local -a folders=(./*" - "*/)
    eval "$reset"
    local -A seen=()
    for folder in "${folders[@]}"; do
        folder=${folder#./}
        number=${folder%%" - "*}
        [[ -n $number && -z ${seen[$number]+set} ]] || continue
        seen[$number]=1
        printf '%s\n' "$number"
    done
}

# Adds to COMPREPLY every line of standard input that begins with $2, each preceded by $1.
_morvalen_reply_matching()
{
    local before=$1 begun=$2 line
    while IFS= read -r line; do
        [[ $line == "$begun"* ]] && COMPREPLY+=("$before$line")
    done
}

# The number of values (texts between blanks) in a word as typed, quotes left out: morvalen
# splits the values of -s at every blank.
_morvalen_value_count()
{
    local text=${1//[\"\']/}
    local blanks=${text//[^ ]/}
    echo $((${#blanks} + 1))
}

_morvalen()
{
    local cur prev words cword split
    _init_completion -s || return

    # Inside the values of -s? Count the values given since the last -s before this word.
    local i given=0 in_triple=
    if [[ $split == true && $prev == --scriptify-process ]]; then
        in_triple=1
    else
        for ((i = cword - 1; i > 0; i--)); do
            if [[ ${words[i]} =~ ^-[vwe]*s$ || ${words[i]} == --scriptify-process ]]; then
                in_triple=1
                break
            elif [[ ${words[i]} == --scriptify-process=* ]]; then
                in_triple=1
                given=$((given + $(_morvalen_value_count "${words[i]#*=}")))
                break
            elif [[ ${words[i]} =~ ^-[vwe]*s(.+)$ ]]; then
                in_triple=1
                given=$((given + $(_morvalen_value_count "${BASH_REMATCH[1]}")))
                break
            elif [[ ${words[i]} == -?* ]]; then
                break
            fi
            given=$((given + $(_morvalen_value_count "${words[i]}")))
        done
    fi
    if [[ $in_triple ]]; then
        # The word being typed may itself hold several values ("QL-TP-0200 bas).
        local typed=$cur
        [[ $typed == [\"\']* ]] && typed=${typed:1}
        local before=
        [[ $typed == *" "* ]] && before=${typed%" "*}" "
        local value=$((given + $(_morvalen_value_count "$typed") - 1))
        case $value in
            0)
                compopt -o filenames
                _morvalen_reply_matching "" "${typed##*" "}" < <(_morvalen_document_numbers)
                return
                ;;
            1)
                _morvalen_reply_matching "$before" "${typed##*" "}" \
                    < <(printf '%s\n' bash powershell python applescript)
                return
                ;;
            2)
                _morvalen_reply_matching "$before" "${typed##*" "}" \
                    < <(printf '%s\n' true false 1 0)
                return
                ;;
        esac
    fi

    if [[ $prev =~ ^-[vwe]*[paic]$ ||
        $prev == --@(process-qlml|archive-process|inspect-process|cleanup-previous) ]]; then
        local typed=$cur
        [[ $typed == [\"\']* ]] && typed=${typed:1}
        compopt -o filenames
        _morvalen_reply_matching "" "$typed" < <(_morvalen_document_numbers)
        return
    fi
    if [[ $prev =~ ^-[vwe]*l$ || $prev == --listgen ]]; then
        _filedir csv
        return
    fi
    [[ $split == true ]] && return

    # Options; each one except -s may be given once, so those already given are left out.
    local -a options=()
    local short long word
    for short in l w p s a i c v e h V; do
        case $short in
            l) long=listgen ;;
            w) long=webmenu ;;
            p) long=process-qlml ;;
            s) long=scriptify-process ;;
            a) long=archive-process ;;
            i) long=inspect-process ;;
            c) long=cleanup-previous ;;
            v) long=verbose ;;
            e) long=qlml-help ;;
            h) long=help ;;
            V) long=version ;;
        esac
        if [[ $short != s ]]; then
            for word in "${words[@]:1:cword-1}"; do
                [[ $word == "-$short" || $word == "--$long" || $word == "--$long="* ]] &&
                    continue 2
            done
        fi
        options+=("-$short" "--$long")
    done
    COMPREPLY=($(compgen -W "${options[*]}" -- "$cur"))
} &&
    complete -F _morvalen morvalen

# ex: filetype=sh
