#include "worker_records.hpp"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace ulvcli {

namespace {

// Room for two escaped texts and the numbers well below PIPE_BUF (4096).
constexpr std::size_t kMaxText = 800;

std::string escape(const std::string& text) {
  std::string escaped;
  for (const char c : text.substr(0, kMaxText)) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\t')
      escaped += "\\t";
    else if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

std::string unescape(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    const char next = text[++i];
    plain += next == 't' ? '\t' : next == 'n' ? '\n' : next;
  }
  return plain;
}

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string optionalText(const std::optional<double>& value) {
  return value ? numberText(*value) : "-";
}

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

double toDouble(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') throw std::runtime_error("malformed worker record");
  return value;
}

std::optional<double> toOptional(const std::string& text) {
  if (text == "-") return std::nullopt;
  return toDouble(text);
}

}  // namespace

std::string encodeRecord(const WorkerRecord& record) {
  const std::string head = std::to_string(record.pid) + "\t" + std::to_string(record.task);
  switch (record.kind) {
    case WorkerRecord::Kind::Started:
      return "S\t" + head + "\n";
    case WorkerRecord::Kind::Warning:
      return "W\t" + head + "\t" + escape(record.message) + "\n";
    case WorkerRecord::Kind::Finished:
      break;
  }
  const ImageResult& r = record.result;
  return "D\t" + head + "\t" + (r.ok ? "1" : "0") + "\t" + numberText(r.seconds) + "\t" +
         std::to_string(r.width) + "\t" + std::to_string(r.height) + "\t" +
         std::to_string(r.channels) + "\t" + optionalText(r.psnrBefore) + "\t" +
         optionalText(r.psnrAfter) + "\t" + escape(r.error) + "\n";
}

WorkerRecord decodeRecord(const std::string& line) {
  const std::vector<std::string> fields = splitFields(line);
  const std::size_t expected = fields.empty()     ? 0
                               : fields[0] == "S" ? 3
                               : fields[0] == "W" ? 4
                               : fields[0] == "D" ? 11
                                                  : 0;
  if (expected == 0 || fields.size() != expected)
    throw std::runtime_error("malformed worker record");
  WorkerRecord record;
  record.pid = static_cast<pid_t>(toDouble(fields[1]));
  record.task = static_cast<std::size_t>(toDouble(fields[2]));
  if (fields[0] == "S") return record;
  if (fields[0] == "W") {
    record.kind = WorkerRecord::Kind::Warning;
    record.message = unescape(fields[3]);
    return record;
  }
  record.kind = WorkerRecord::Kind::Finished;
  ImageResult& r = record.result;
  r.ok = fields[3] == "1";
  r.seconds = toDouble(fields[4]);
  r.width = static_cast<int>(toDouble(fields[5]));
  r.height = static_cast<int>(toDouble(fields[6]));
  r.channels = static_cast<int>(toDouble(fields[7]));
  r.psnrBefore = toOptional(fields[8]);
  r.psnrAfter = toOptional(fields[9]);
  r.error = unescape(fields[10]);
  return record;
}

}  // namespace ulvcli
