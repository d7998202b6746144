# bash completion for vexilctl                               -*- shell-script -*-
_vexilctl() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }

  local globals="--device --devices --host-port --timeout --json --jobs --help"
  local commands="identify status set reset send-ts stop-ts raw setup watch log stream-check help"

  case $prev in
    --devices|--log)
      COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --device|--host-port|--timeout|--jobs|--time|--dest|--size|--packets|--text|\
    --interval|--duration|--metrics|--alarm-silent|--alarm-crc|--alarm-buffer|--alarm-rate)
      return ;;
    --alarm-overflow|--alarm-channel-state|--alarm-link)
      COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
    --format)
      COMPREPLY=($(compgen -W "qvnet iptv" -- "$cur")); return ;;
    --packet-format)
      COMPREPLY=($(compgen -W "188 204" -- "$cur")); return ;;
    --source)
      COMPREPLY=($(compgen -W "1 2 3 4" -- "$cur")); return ;;
    --log-format)
      COMPREPLY=($(compgen -W "csv jsonl" -- "$cur")); return ;;
  esac

  # The command is the first word that is neither an option nor an option's value.
  local i command="" sub=""
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --device|--devices|--host-port|--timeout|--jobs|--time|--format|--source|--dest|\
      --size|--packets|--packet-format|--text|--log|--log-format|--interval|--duration|\
      --metrics|--alarm-silent|--alarm-crc|--alarm-overflow|--alarm-buffer|\
      --alarm-channel-state|--alarm-link|--alarm-rate)
        ((i++)) ;;
      -*) ;;
      *)
        if [[ -z $command ]]; then command=${words[i]}
        elif [[ -z $sub ]]; then sub=${words[i]}
        fi ;;
    esac
  done

  local options=""
  case $command in
    "")
      COMPREPLY=($(compgen -W "$commands $globals" -- "$cur")); return ;;
    set)
      [[ -z $sub ]] && { COMPREPLY=($(compgen -W "serial type user-text ip netmask gateway nco" -- "$cur")); return; }
      [[ $sub == nco ]] && options="1 2 3 4" ;;
    reset)
      [[ -z $sub ]] && { COMPREPLY=($(compgen -W "pdi system sdi" -- "$cur")); return; }
      options="--time" ;;
    send-ts)
      options="--dest --source --format --always --dv-pin --size --packets --packet-format --remove-null --remove-tsp-errors" ;;
    stop-ts)
      [[ -z $sub ]] && options="1 2 3 4" ;;
    raw)
      options="--text" ;;
    watch)
      options="--interval --duration --log --metrics --alarm-silent --alarm-crc --alarm-overflow --alarm-buffer --alarm-channel-state --alarm-link --alarm-rate" ;;
    setup)
      options="--log --log-format --log-db --station --operator --journal" ;;
    log)
      [[ -z $sub ]] && { COMPREPLY=($(compgen -W "flush status query" -- "$cur")); return; }
      case $sub in
        flush|status) options="--log --log-db --journal" ;;
        query) options="--log --log-db --serial --since --station --result" ;;
      esac ;;
    stream-check)
      COMPREPLY=($(compgen -W "--port --address --source --interface --seconds --file --bitrate --json --record --metrics --help" -- "$cur")); return ;;
    help)
      [[ -z $sub ]] && options="identify status set reset send-ts stop-ts raw setup watch log" ;;
  esac
  COMPREPLY=($(compgen -W "$options $globals" -- "$cur"))
} && complete -F _vexilctl vexilctl
