#include "ctl/Help.h"

namespace vexil::ctl {
namespace {

constexpr char kProgram[] = R"(Usage: vexilctl [GLOBAL OPTIONS] COMMAND [ARGUMENTS]

Every operation of the Vexil Development Platform window, from scripts and production
lines, on one board or many at once. The frames are byte for byte the window's and the
answers are judged by the window's rules.

Commands:
  identify            ask the board who it is (QV-Net identity query)
  status              the board's full status report
  set WHAT VALUE      serial, type, user-text, ip, netmask, gateway, nco CH HZ
  reset KIND          pdi, system or sdi reset
  send-ts ...         route a TS input to a destination (the Send TS page)
  stop-ts SOURCE      stop routing TS input SOURCE (1..4)
  raw ROW...          the Instruction Test: rows OPCODE:DATA-LIST, prints dump and answer
  setup               the Manufacturer Setup: check the type, write the maker's name
  watch               poll boards for hours: time series, alarms, Prometheus metrics
  log ACTION          production records: flush, status, query (vexilctl log --help)
  stream-check ...    check a transport stream, live, multicast or from a file, against
                      TR 101 290 (options of its own: vexilctl stream-check --help)
  help [COMMAND]      this text, or a command's own

Global options (anywhere on the line):
  --device ADDR[:PORT]  a board (dotted IPv4; port 56789 unless given); repeatable
  --devices FILE        boards from FILE, one ADDR[:PORT] a line ('#' starts a comment)
  --host-port N         the local UDP port (0: any free port). Default: any free port,
                        or MyPort of VexilDevP.ini when the board comes from that file.
                        With several boards each needs its own port: leave it out.
  --timeout MS          how long each request waits for its answer (1..60000;
                        default 1000, the window's one second)
  --json                one JSON object per board on stdout, one a line
  --jobs N              at most N boards at a time (default 64)
  -h, --help            help; after a command, that command's help
  -V, --version         the program's version

Without --device or --devices the board is the one VexilDevP.ini in the working
directory names, as in the window: IPBase + IPExt, DevicePort, MyPort. Without that
file either, nothing is sent (exit 2): a board nobody named is never guessed. The same
board named twice (on the line or in a --devices file) is refused.

Input is checked before anything is sent. Where the window silently replaces a value
it cannot read by its default (0, 1000000, 10.123.13.101, ...), or narrows a number to
the bits of its field (a type of 70000 sent as 4464), vexilctl refuses the value with
exit status 2 and names it: a script must never configure a board with a value nobody
typed.

Several boards run concurrently, each on its own UDP port; an answer counts only when
it comes from the address the request went to. Results are printed in the order the
boards were given, each line prefixed with ADDR:PORT when there are several.

Exit status (the worst over all boards):
  0  the board acknowledged, or answered as the command requires
  1  it did not: no answer, an answer of the wrong length, the wrong type or text
  2  usage error, a value refused, or the request could not be sent

Results go to stdout, messages to stderr.
)";

constexpr char kIdentify[] = R"(Usage: vexilctl [GLOBAL OPTIONS] identify

Sends the 18-byte QV-Net identity query and prints the window's lines for the 25-byte
answer: version, type and serial. With --json: "identity" holds length, version,
version_major, version_minor, type and serial.
Exit 1 when no answer comes or it is not 25 bytes long.
)";

constexpr char kStatus[] = R"(Usage: vexilctl [GLOBAL OPTIONS] status

Sends the Palvox status query and prints the full report exactly as the window's main
page shows it. With --json: "report" holds every field of the status record with its
name and value (identity, configuration, network, the four TS input and output
channels, ports and IGMP, IIC, NCO, trap function, user data and, for a model 7 board,
the IP remultiplexer extension with its four channel blocks), and "lines" the report.
Exit 1 when no answer comes, or it is shorter than 534 bytes or lacks the 0xF0 marker.
)";

constexpr char kSet[] = R"(Usage: vexilctl [GLOBAL OPTIONS] set WHAT VALUE

  set serial N          32 bits: -2147483648..4294967295, or $hex / 0xhex
  set type N            0..65535
  set user-text TEXT    at most 15 Latin-1 characters, no control characters (filled
                        with blanks to 15)
  set ip A.B.C.D        each part 0..255
  set netmask A.B.C.D
  set gateway A.B.C.D   sent with gateway mode 1 (manual IP), as the window does
  set nco CH HZ         channel 1..4; HZ 120..62500000, the range the page states,
                        sent unscaled

Numbers are decimal, or hex after $, x or 0x. A value the window would replace by its
default, narrow, cut or turn into '?' is refused (exit 2).
Exit 0 on the 41-byte ACK; 1 on no answer or an answer of another length.
)";

constexpr char kReset[] = R"(Usage: vexilctl [GLOBAL OPTIONS] reset pdi|system|sdi [--time MS]

  --time MS   the reset time, 1..255 ms (default 10, the window's)

PDI and SDI resets wait for the ACK. A system reset is never answered: the board
restarts, so it is sent without waiting and exits 0 once sent.
)";

constexpr char kSendTs[] = R"(Usage: vexilctl [GLOBAL OPTIONS] send-ts --dest A.B.C.D:PORT [OPTIONS]

Tells the board to send the transport stream of one input to a destination.
  --dest A.B.C.D:PORT     destination address (octets 0..255) and UDP port (0..65535);
                          required
  --source N              TS input 1..4 (default 1)
  --format qvnet|iptv     packet format (default iptv)
  --always                instruction type "Always Send TS" (default "Send TS")
  --dv-pin                Data Valid Pin enabled (default disabled)
QV-Net format:
  --size N                data size per datagram, 256..1428 (default 1428)
IPTV format:
  --packets N             TS packets per datagram, 1..7 (default 7)
  --packet-format 188|204 packet size (default 188)
  --remove-null           remove null packets
  --remove-tsp-errors     remove packets with TSP error
Options of the other format are refused rather than ignored.
Exit 0 on the 41-byte ACK; 1 on no answer or an answer of another length.
)";

constexpr char kStopTs[] = R"(Usage: vexilctl [GLOBAL OPTIONS] stop-ts SOURCE

Tells the board to stop sending TS input SOURCE (1..4) (the Don't Send TS button).
Exit 0 on the 41-byte ACK; 1 on no answer or an answer of another length.
)";

constexpr char kRaw[] = R"(Usage: vexilctl [GLOBAL OPTIONS] raw [--text TEXT] [ROW...]

The Instruction Test: sends a Palvox frame of up to five instructions, prints its bytes
as the window dumps them, then the answer's size and body.
  ROW          OPCODE:DATA-LIST, e.g. 3:0 or $12:$41,$42; opcode and every data item
               0..255, decimal or $hex, items separated by commas. No row: the header
               alone. Forms the window would silently change (0x.., blanks, signs, an
               empty item, a number that does not fit a byte) are refused.
  --text TEXT  the header's 15-byte text (default "Quenthaven Bt.", the window's)
Exit 0 when any answer comes, 1 when none does.
)";

constexpr char kWatch[] = R"(Usage: vexilctl [GLOBAL OPTIONS] watch [--interval S] [--duration S]
         [--log FILE.csv|FILE.jsonl] [--metrics [ADDR:]PORT] [ALARM OPTIONS]

Polls every board (--device, --devices, or the one VexilDevP.ini names) with the
window's status query, all from one UDP port, at a steady pace, until --duration has
passed or Ctrl+C (SIGINT, SIGTERM, SIGHUP) ends it. Each poll waits --timeout for the
answer (default 1000 ms, shortened to the interval; a longer --timeout is refused).

  --interval S        seconds between polls, decimals allowed (0.05..86400; default 1)
  --duration S        how long to watch (default: until interrupted)
  --log FILE          one line per board per poll: FILE.jsonl gives JSON Lines,
                      FILE.csv gives CSV (header written to a new file). Appended, each
                      line whole even when the watch is killed. Fields: time, board,
                      poll, answered, answer_ms, type, version, serial, link_speed,
                      crc_error_counter, crc_increment, ins_packet_counter,
                      ins_increment, counter_reset, and per channel state,
                      input_rate_packets_per_second, sdram_usage_packets,
                      sdram_size_packets, buffer_usage_ratio, overflow_led,
                      overflow_since_reset (the last six on boards with the IP
                      remultiplexer extension)
  --metrics [ADDR:]PORT  serve Prometheus metrics at http://ADDR:PORT/metrics
                      (ADDR defaults to 127.0.0.1; 0.0.0.0 opens it to the network)

The 16-bit CRC error and Ins. packet counters are turned into increments between
polls: a wrap through 65535 counts as the steps it took; a counter that falls far is a
board reset (counted from zero), never 65,000 errors.

Alarms: each prints one line on stderr when it starts and one when it clears.
  --alarm-silent N            the board missed N polls in a row (default 3; 0: off)
  --alarm-crc N               N or more CRC errors counted in one poll (default 1; 0: off)
  --alarm-overflow on|off     a channel's overflow-since-reset flag set (default on)
  --alarm-buffer PERCENT      a channel's SDRAM usage above PERCENT of its size
                              (default 90; 0: off)
  --alarm-channel-state on|off  a channel's state differs from the one first seen
                              (default on)
  --alarm-link on|off         the link speed differs from the one first seen (default on)
  --alarm-rate MIN:MAX        a sending channel's input rate outside MIN..MAX packets/s;
                              either may be empty (default 1: , a sending channel with
                              no input; off: no rate alarm)

At the end the summary goes to stdout, per board: polls, answered, alarms started,
worst buffer usage, CRC and Ins. increments, resets (one JSON object with --json).

Exit status: 0 when no alarm started and every board answered; 1 when an alarm
started, a board never answered or the log could not be written; 2 on a usage error
or when the port, the log or the metrics address cannot be opened.

Metrics (labels board, channel, alarm): vexil_board_up, vexil_board_poll_duration_seconds,
vexil_board_polls_total, vexil_board_answers_total, vexil_board_info (type, version,
serial, model), vexil_board_link_speed_bits_per_second, vexil_board_crc_errors_total,
vexil_board_inserted_packets_total, vexil_board_resets_total, vexil_channel_state,
vexil_channel_input_rate_packets_per_second, vexil_channel_buffer_usage_ratio,
vexil_channel_buffer_size_packets, vexil_channel_overflow_led,
vexil_channel_overflow_since_reset, vexil_watch_alarm_active, vexil_watch_alarms_total.
A board that did not answer shows NaN in its gauges, not its last values.
)";

constexpr char kSetup[] = R"(Usage: vexilctl [GLOBAL OPTIONS] setup [--log FILE] [--log-format csv|jsonl]
       vexilctl [GLOBAL OPTIONS] setup --log postgresql://USER@HOST/DB [--station NAME]
                [--operator NAME] [--journal FILE]

The Manufacturer Setup: asks the board for its status, accepts only a QV-7163, writes
"Marovantis Ltd." into its user text and checks that the board reports it back.
  --log FILE               append one line per board: time (UTC), address, type,
                           version, serial, result, failure text
  --log-format csv|jsonl   CSV with a header line in a new file (default), or JSON Lines
Each line is appended with a single write() as soon as its board is done, so the log
holds every finished board whole even if vexilctl is killed.

The production database (PostgreSQL), for lines of several stations:
  --log postgresql://...   a libpq connection URI (also --log-db URI); sslmode and the
                           other URI parameters pass through. The password comes from
                           the URI or PGPASSFILE (~/.pgpass) and is never shown.
  --station NAME           the station in each row (default: this host's name)
  --operator NAME          the operator in each row (default: none)
  --journal FILE           where rows wait for the database (default:
                           ~/.local/state/vexil-devp/journal-USER@HOST_PORT_DB.jsonl)
Each board's row (time, station, operator, address, type, version, serial, user text,
result, failure text, program version) goes first to the journal, then to the table
vexil_setup in a transaction of its own. While the server cannot be reached the rows
wait in the journal and go as soon as it answers, on this run or the next, or with
vexilctl log flush. Each row has a unique key: a row is never written twice. The
program creates its tables, migrates an older schema and refuses a newer one.
Exit 0 when the set-up succeeded; 1 on no answer, an unknown answer, another type or
text; 2 when a request could not be sent, the log could not be written, or the
database refuses the rows (a newer schema). Rows waiting for the database do not
change the exit status; a message on stderr says how many wait.
)";

constexpr char kLog[] = R"(Usage: vexilctl log flush --log postgresql://... [--journal FILE]
       vexilctl log status [--log postgresql://... | --journal FILE]
       vexilctl log query --log postgresql://...|FILE [--serial N] [--since TIME]
                [--station NAME] [--result RESULT]

The production records of setup.
  flush     send the rows waiting in the journal to the database; exit 0 when none
            waits any more, 1 when some still wait (the server cannot be reached)
  status    how many rows wait: in the database's journal, or in every journal of
            ~/.local/state/vexil-devp when no database is named
  query     the records of a database or of a file log (CSV or JSON Lines), oldest
            first, as a table or, with --json, one JSON object a line
Filters of query (all must hold):
  --serial N          the board's serial number
  --since TIME        at or after TIME: 2026-12-09, 2026-12-09T14:30[:00[.000]],
                      with Z or +HH:MM; without a zone, UTC
  --station NAME      the station (a database only: file logs record none)
  --result RESULT     ok, no-answer, wrong-length, rejected or send-failed
--log-db URI may stand for --log URI. Exit 2 when the log cannot be read or the
database refuses; 1 when the database cannot be reached.
)";

#ifdef _WIN32
// What differs on Windows: paths as Windows users write them, the settings file in the
// working folder, and the three features this build goes without.
constexpr char kOnWindows[] = R"(
On Windows:
  vexilctl --devices C:\Lab\boards.txt --json status
  vexilctl --device 192.168.1.50 setup --log "C:\Production\setup 2026.csv"
  cd /d C:\Lab & vexilctl status      (the board VexilDevP.ini in C:\Lab names)
VexilDevP.ini may have CRLF or LF line ends. Ctrl+C stops watch as SIGINT does on
Linux; the exit statuses are the ones above. Not in this build, each refused with
exit status 2: watch and stream-check --metrics (no Prometheus client), setup and log
with postgresql:// (no libpq), stream-check --file of a pcap or pcapng capture (no
libpcap); .ts recordings are read.
)";
#endif

}  // namespace

std::optional<std::string> helpText(const std::string& topic) {
#ifdef _WIN32
  if (topic.empty()) return std::string(kProgram) + kOnWindows;
#endif
  if (topic.empty()) return kProgram;
  if (topic == "identify") return kIdentify;
  if (topic == "status") return kStatus;
  if (topic == "set") return kSet;
  if (topic == "reset") return kReset;
  if (topic == "send-ts") return kSendTs;
  if (topic == "stop-ts") return kStopTs;
  if (topic == "raw") return kRaw;
  if (topic == "setup") return kSetup;
  if (topic == "watch") return kWatch;
  if (topic == "log") return kLog;
  return std::nullopt;
}

}  // namespace vexil::ctl
