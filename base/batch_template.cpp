// The batch template's rules.
#include "base/batch_template.h"

#include <string>

#include "base/Exception.h"

namespace base {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::vector<std::string> SplitTemplateLines(std::string_view text) {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

namespace {

// The batch text so far is above kMaxBatchBytes.
base::EConvertError BatchTooLarge() {
  return base::EConvertError("Die Vorlage \"Update.bat\" ergibt eine Datei von mehr als " +
                             std::to_string(kMaxBatchBytes / 1024) + " KB");
}

// FormatTemplateLine that gives up as soon as its result would pass `room` bytes.
std::string FormatLine(std::string_view line, const std::vector<std::string>& args, size_t room) {
  auto fail = [&]() -> base::EConvertError {
    return base::EConvertError("Format '" + std::string(line) + "' ungültig oder nicht kompatibel mit Argument");
  };
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (out.size() > room) throw BatchTooLarge();
    if (line[i] != '%') {
      out += line[i];
      continue;
    }
    ++i;
    if (i < line.size() && line[i] == '%') {
      out += '%';
      continue;
    }
    // %[index:][-][width][.precision]s; a number saturates above the bound, which no index,
    // width or precision may pass.
    auto number = [&](size_t& v) {
      size_t start = i;
      v = 0;
      while (i < line.size() && IsDigit(line[i])) {
        if (v <= kMaxFormatWidth) v = v * 10 + static_cast<size_t>(line[i] - '0');
        ++i;
      }
      return i > start;
    };
    size_t value = 0;
    size_t mark = i;
    if (number(value) && i < line.size() && line[i] == ':') {
      next = value;
      ++i;
    } else {
      i = mark;
    }
    bool left = false;
    if (i < line.size() && line[i] == '-') {
      left = true;
      ++i;
    }
    size_t width = 0;
    number(width);
    bool cut = false;
    size_t precision = 0;
    if (i < line.size() && line[i] == '.') {
      ++i;
      cut = true;
      number(precision);
    }
    if (width > kMaxFormatWidth || precision > kMaxFormatWidth)
      throw base::EConvertError("Format '" + std::string(line) + "' ungültig: Breite und Genauigkeit dürfen höchstens " +
                                std::to_string(kMaxFormatWidth) + " betragen");
    if (i >= line.size() || Upper(line[i]) != 'S' || next >= args.size()) throw fail();
    std::string arg = args[next++];
    if (cut && arg.size() > precision) arg.resize(precision);
    if (arg.size() < width) {
      std::string pad(width - arg.size(), ' ');
      arg = left ? arg + pad : pad + arg;
    }
    out += arg;
  }
  if (out.size() > room) throw BatchTooLarge();
  return out;
}

}  // namespace

std::string FormatTemplateLine(std::string_view line, const std::vector<std::string>& args) {
  return FormatLine(line, args, kMaxBatchBytes);
}

namespace {

// Whether the first `n` lines end in a complete group or in a tail.
bool GroupsComplete(const std::vector<std::string>& lines, size_t n) {
  for (size_t first = 0; first < n; first += 4) {
    if (!lines[first].empty() && lines[first][0] == ' ') return true;
    if (first + 3 >= n) return false;
  }
  return true;
}

}  // namespace

const char kCleanupArgument[] = "/trelk-cleanup";

std::string BuildUpdateBatch(const std::vector<std::string>& templateLines, const std::string& programDir,
                             const std::string& tempDir, bool restart, const std::string& exePath,
                             const std::string& systemDir, bool administratorsFolder) {
  size_t n = templateLines.size();
  size_t filled = n;
  while (filled > 0 && templateLines[filled - 1].empty()) --filled;
  if (filled == 0) throw base::EConvertError("Die Vorlage \"Update.bat\" ist leer");
  // Empty lines at the end are lines of the template; only where they alone leave the last
  // group short are they taken for what an editor added.
  if (!GroupsComplete(templateLines, n) && GroupsComplete(templateLines, filled)) n = filled;
  const std::vector<std::string> lines(templateLines.begin(), templateLines.begin() + static_cast<std::ptrdiff_t>(n));
  std::vector<std::string> out(lines);
  size_t size = 0;
  // Each formatted line is counted with its CR LF against the bound of the whole file.
  auto format = [&](const std::string& line, const std::vector<std::string>& args) {
    std::string text = FormatLine(line, args, kMaxBatchBytes - size);
    size += text.size() + 2;
    if (size > kMaxBatchBytes) throw BatchTooLarge();
    return text;
  };
  size_t tail = n;
  for (size_t g = 0; g <= (n - 1) / 4; ++g) {
    size_t first = 4 * g;
    // A line 0 that is empty does not begin with a blank: it is a group's first line, copied
    // as the empty line it is.
    if (!lines[first].empty() && lines[first][0] == ' ') {
      tail = first;
      break;
    }
    if (first + 3 >= n)
      throw base::EConvertError("Die Vorlage \"Update.bat\" endet in einer unvollständigen Gruppe (Zeile " +
                                std::to_string(first + 1) + ")");
    size += lines[first].size() + 2;
    if (size > kMaxBatchBytes) throw BatchTooLarge();
    out[first + 1] = format(lines[first + 1], {programDir});
    out[first + 2] = format(lines[first + 2], {programDir});
    out[first + 3] = format(lines[first + 3], {tempDir, programDir});
  }
  for (size_t k = tail; k < n; ++k) out[k] = format(lines[k], {tempDir});
  if (restart) out.push_back("\"" + exePath + "\"");
  if (!systemDir.empty()) {
    // The folder cannot go while the batch runs from it: a cmd.exe of its own removes it two
    // seconds after this batch has ended, started from the system folder (no folder can go while
    // it is a process's current one, and no program is looked up anywhere else). cmd.exe's own
    // "rd /s" follows links where the system does not show them as links; only a folder no user
    // can put a link into is left to it.
    std::string folder = tempDir;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const std::string removal = administratorsFolder ? "rd /s /q " + BatchPathArgument(folder)
                                                     : "\"" + exePath + "\" " + kCleanupArgument;
    out.push_back("cd /d " + BatchPathArgument(systemDir) + " & start \"\" /b " + BatchPathArgument(systemDir + "cmd.exe") +
                  " /d /c \"" + BatchPathArgument(systemDir + "ping.exe") + " -n 3 127.0.0.1 >nul & " + removal + "\"");
  }
  // The batch deletes itself as its last line.
  out.push_back("del " + BatchPathArgument(tempDir + "Update.bat"));
  std::string text;
  for (const std::string& line : out) text += line + "\r\n";
  if (text.size() > kMaxBatchBytes) throw BatchTooLarge();
  return text;
}

std::string BatchPathArgument(const std::string& path) {
  // cmd.exe splits a command's arguments at these; unquoted, "del C:\Dokumente und
  // Einstellungen\...\Update.bat" would delete "und" and other names in the current folder.
  if (path.find_first_of(" \t&()^;,=") == std::string::npos) return path;
  return "\"" + path + "\"";
}

}  // namespace base
