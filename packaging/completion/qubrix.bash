# bash completion for qubrix. Verbs and options come from the program's own help, so they never
# drift from it; models and serial numbers from `qubrix models --json` and `qubrix list --json`.
_qubrix_json_field() {
  sed -n "s/.*\"$1\": \"\([^\"]*\)\".*/\1/p"
}

_qubrix() {
  local cur prev verb
  _init_completion || return
  if [[ $cword -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$("$1" --help 2>/dev/null | sed -n 's/^  \([a-z-]\+\) .*/\1/p')" -- "$cur"))
    return
  fi
  verb=${words[1]}
  case $prev in
    -t|--target)
      COMPREPLY=($(compgen -W "$("$1" models --json 2>/dev/null | _qubrix_json_field name)" -- "$cur"))
      return ;;
    --serial)
      COMPREPLY=($(compgen -W "$("$1" list --json 2>/dev/null | _qubrix_json_field serial)" -- "$cur"))
      return ;;
    --family)
      COMPREPLY=($(compgen -W "$("$1" models --json 2>/dev/null | _qubrix_json_field family | cut -d" " -f1 | sort -u)" -- "$cur"))
      return ;;
    --lang)
      COMPREPLY=($(compgen -W "en zh" -- "$cur"))
      return ;;
    --mode)
      COMPREPLY=($(compgen -W "isp writer" -- "$cur"))
      return ;;
    --port)
      COMPREPLY=($(compgen -f -- "${cur:-/dev/tty}"))
      return ;;
    -o|--output|-l)
      _filedir
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$("$1" "$verb" --help 2>/dev/null | grep -o -- '--[a-z-]\+' | sort -u)" -- "$cur"))
    return
  fi
  case $verb in
    power) COMPREPLY=($(compgen -W "on off status toggle" -- "$cur")) ;;
    *) _filedir '@(hex|HEX|bin|BIN|cab|CAB|cap|CAP)' ;;
  esac
} &&
  complete -F _qubrix qubrix
