// vexil-settings-bench: opening and closing with a large settings file.
// Builds files of the given size (default 10 MB) that hold every key of the program
// among foreign lines, the first line break CRLF and the others LF, in two layouts:
// the keys first with 40-byte foreign lines after them, and the keys last after
// millions of tiny and blank lines. For each it times what the window does: open and
// read every key, and the close-time save of every kept key.
// Prints the median and worst of each, the file's size before and after, how many
// times the close replaced the file (kernel directory notifications), and the time
// of the dialog's immediate writes; finally whether a save of the loaded values leaves
// the file as it was, byte for byte.
//
// Usage: vexil-settings-bench [megabytes] [rounds]
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "settings/StoredSettings.h"

using namespace vexil::settings;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Where the program's keys lie in the generated file.
enum class Layout {
  KeysFirst,  // every key, then foreign sections of 40-byte lines
  KeysLast,   // millions of tiny and blank foreign lines, then every key
};

/// The keys of the program as a close leaves them, in LF.
std::string programKeys(const std::string& dir) {
  const std::string seed = dir + "/seed.ini";
  {
    IniFile file(seed);
    saveSettings(file, StoredSettings{});
  }
  std::string keys = readAll(seed);
  fs::remove(seed);
  std::erase(keys, '\r');
  return keys;
}

/// A settings file of `size` bytes whose first line break is CRLF and all others LF,
/// holding every key of the program among foreign lines.
std::string largeFile(const std::string& dir, std::size_t size, Layout layout) {
  std::string text = "; settings of the bench\r\n";
  const std::string keys = programKeys(dir);
  if (layout == Layout::KeysFirst) {
    text += keys;
    for (int section = 0; text.size() < size; ++section) {
      text += "[Log" + std::to_string(section) + "]\n";
      for (int entry = 0; entry < 50 && text.size() < size; ++entry) {
        text += "Entry" + std::to_string(entry) + "=value of entry " + std::to_string(entry) +
                " in section " + std::to_string(section) + "\n";
        if (entry % 10 == 9) text += "\n";
      }
    }
  } else {
    text += "[Log]\n";
    while (text.size() + keys.size() < size) text += "a=1\n\n\n";
    text += keys;
  }
  return text;
}

StoredSettings changedValues(int round) {
  StoredSettings v;
  const std::string r = std::to_string(round);
  v.ipBase = "192.168." + r + ".";
  v.ipExt = round;
  v.serial = "S" + r;
  v.userText = "round " + r;
  for (auto& part : v.nco) part = r + "000";
  v.qvNetSize = 1000 + round;
  return v;
}

/// Replacements of the file named `name` in `dir` while `work` runs.
int replacementsDuring(const std::string& dir, const std::string& name,
                       const std::function<void()>& work) {
  const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watcher < 0 || ::inotify_add_watch(watcher, dir.c_str(), IN_MOVED_FROM | IN_MOVED_TO) < 0) {
    work();
    return -1;
  }
  work();
  int count = 0;
  alignas(inotify_event) char buffer[64 * 1024];
  for (ssize_t got; (got = ::read(watcher, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if ((event->mask & IN_MOVED_TO) && event->len > 0 && name == event->name) ++count;
      at += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watcher);
  return count;
}

struct Summary {
  double median, max;
};

Summary summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.back()};
}

/// Runs `rounds` open/close rounds on a file of `megabytes` in `layout`; false when a
/// saved value did not read back or an unchanged save changed the file.
bool runLayout(const char* title, Layout layout, double megabytes, int rounds) {
  std::string pattern = (fs::temp_directory_path() / "vexil-settings-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return false;
  const std::string path = pattern + "/VexilDevP.ini";
  const std::string content =
      largeFile(pattern, static_cast<std::size_t>(megabytes * kMegabyte), layout);
  std::ofstream(path, std::ios::binary) << content;
  const auto sizeBefore = fs::file_size(path);
  const auto lines = std::count(content.begin(), content.end(), '\n');

  std::vector<double> opens, closes, dialogs;
  int replacements = 0;
  bool valuesKept = true;
  for (int round = 1; round <= rounds; ++round) {
    const auto openStart = Clock::now();
    IniFile file(path);
    StoredSettings values = loadSettings(file);
    opens.push_back(seconds(Clock::now() - openStart));

    const StoredSettings changed = changedValues(round);
    values = changed;
    const auto closeStart = Clock::now();
    replacements =
        replacementsDuring(pattern, "VexilDevP.ini", [&] { saveSettings(file, values); });
    closes.push_back(seconds(Clock::now() - closeStart));
    valuesKept = valuesKept && loadSettings(IniFile(path)) == changed;

    const auto dialogStart = Clock::now();
    saveDialogSettings(file, true, changed.myPort, changed.devicePort);
    dialogs.push_back(seconds(Clock::now() - dialogStart));
  }
  const auto sizeAfter = fs::file_size(path);
  // A close that changes nothing must leave the file as it was, byte for byte.
  const std::string beforeUnchanged = readAll(path);
  {
    IniFile file(path);
    saveSettings(file, loadSettings(file));
  }
  const bool unchangedKept = readAll(path) == beforeUnchanged;
  fs::remove_all(pattern);

  const Summary open = summarise(opens), close = summarise(closes),
                dialog = summarise(dialogs);
  std::printf("%s: %ju bytes, %jd lines, %d rounds\n", title,
              static_cast<std::uintmax_t>(sizeBefore), static_cast<std::intmax_t>(lines), rounds);
  std::printf("  open + read every key:   median %.3f s, max %.3f s\n", open.median, open.max);
  std::printf("  close-time save:         median %.3f s, max %.3f s\n", close.median, close.max);
  std::printf("  dialog's three writes:   median %.3f s, max %.3f s\n", dialog.median,
              dialog.max);
  std::printf("  replacements per close:  %d\n", replacements);
  std::printf("  size after the rounds:   %ju bytes (%+jd)\n",
              static_cast<std::uintmax_t>(sizeAfter),
              static_cast<std::intmax_t>(sizeAfter) - static_cast<std::intmax_t>(sizeBefore));
  std::printf("  saved values read back:  %s\n", valuesKept ? "yes" : "NO");
  std::printf("  unchanged save keeps every byte: %s\n", unchangedKept ? "yes" : "NO");
  return valuesKept && unchangedKept;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (megabytes <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [megabytes] [rounds]\n", argv[0]);
    return 2;
  }
  bool ok = runLayout("keys first, 40-byte foreign lines after", Layout::KeysFirst, megabytes,
                      rounds);
  ok = runLayout("keys last, after tiny and blank foreign lines", Layout::KeysLast, megabytes,
                 rounds) &&
       ok;
  return ok ? 0 : 1;
}
