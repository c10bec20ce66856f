# bash completion for korvi-cli

# _korvi_cli_dequote WORD: the word as the shell will read it, in REPLY: quotes and backslashes
# taken away as the shell does, nothing expanded and nothing run.
_korvi_cli_dequote() {
  local word=$1 quote= c i
  REPLY=
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [[ $quote == "'" ]]; then
      [[ $c == "'" ]] && quote= || REPLY+=$c
    elif [[ $c == '\' && ( -z $quote || ${word:i+1:1} == [\$\`\"\\] ) ]]; then
      ((i++))
      REPLY+=${word:i:1}
    elif [[ $c == '"' && ( -z $quote || $quote == '"' ) ]]; then
      [[ -z $quote ]] && quote=$c || quote=
    elif [[ $c == "'" && -z $quote ]]; then
      quote=$c
    else
      REPLY+=$c
    fi
  done
}

_korvi_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "drives toc rip play lookup verify drive offset xmcd --help --version" -- "$cur")
    return
  fi

  local command=${COMP_WORDS[1]}
  # Values of the options that take one.
  case $prev in
    --format)
      mapfile -t COMPREPLY < <(compgen -W "wav mp3 ape flac opus" -- "$cur"); return ;;
    --on-exists)
      mapfile -t COMPREPLY < <(compgen -W "ask overwrite skip" -- "$cur"); return ;;
    --mode)
      mapfile -t COMPREPLY < <(compgen -W "secure burst" -- "$cur"); return ;;
    --level)
      mapfile -t COMPREPLY < <(compgen -W "1000 2000 3000 4000 5000" -- "$cur"); return ;;
    --flac-level)
      mapfile -t COMPREPLY < <(compgen -W "0 1 2 3 4 5 6 7 8" -- "$cur"); return ;;
    --bitrate)
      mapfile -t COMPREPLY < <(compgen -W "32 40 48 56 64 80 96 112 128 160 192 224 256 320" -- "$cur"); return ;;
    --out|--library)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur"); return ;;
    --tracks|--opus-bitrate|--jobs|--offset|--speed|--pick)
      return ;;
  esac

  local options=
  case $command in
    toc) options="--cdtext" ;;
    rip) options="--format --out --tracks --bitrate --level --flac-level --opus-bitrate --no-id3
                  --on-exists --jobs --mode --offset --test-and-copy --speed --eject --require-accurate
                  --no-verify --no-log --no-cue --lookup --library --pick" ;;
    lookup) options="--library --no-save --pick" ;;
    verify) options="--library" ;;
    offset) options="--save" ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return
  fi

  # The first word after the command: a drive or image for every command but xmcd. Drives come
  # from the tool itself (one a line), images are also offered as files.
  local words=0 i
  for ((i = 2; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --out|--library|--tracks|--bitrate|--level|--flac-level|--opus-bitrate|--on-exists|--jobs|--mode|--offset|--pick|--format)
        ((i++)) ;;
      -*) ;;
      *) ((words++)) ;;
    esac
  done
  case $command in
    toc|rip|play|lookup|verify)
      if ((words == 0)); then
        # The names are matched here rather than by compgen -W, which would expand $(...), `...`
        # and $VAR in them: an image's name is text, never code. One a line, blanks and all.
        local drive REPLY
        _korvi_cli_dequote "$cur"
        while IFS= read -r drive; do
          [[ -n $drive && $drive == "$REPLY"* ]] && COMPREPLY+=("$drive")
        done < <("${COMP_WORDS[0]}" drives 2>/dev/null)
        mapfile -t -O ${#COMPREPLY[@]} COMPREPLY < <(
          for ext in cue CUE toc TOC nrg NRG; do compgen -f -X "!*.$ext" -- "$cur"; done
          compgen -d -- "$cur")
      elif [[ $command == verify ]] && ((words == 1)); then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      fi ;;
    xmcd)
      ((words == 0)) && mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
  esac
}

complete -o filenames -F _korvi_cli korvi-cli
