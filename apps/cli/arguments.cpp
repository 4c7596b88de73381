#include "arguments.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace ulvcli {

namespace {

bool looksLikeOption(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  const char second = arg[1];
  return !(std::isdigit(static_cast<unsigned char>(second)) || second == '.');
}

const OptionDefinition& findOption(const std::vector<OptionDefinition>& definitions,
                                   const std::string& name) {
  for (const OptionDefinition& definition : definitions) {
    if (definition.name == name || (!definition.alias.empty() && definition.alias == name))
      return definition;
  }
  throw UsageError("unknown option " + name);
}

}  // namespace

bool ParsedArguments::has(const std::string& option) const {
  return flags.count(option) != 0 || values.count(option) != 0;
}

std::optional<std::string> ParsedArguments::value(const std::string& option) const {
  const auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

ParsedArguments parseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionDefinition>& definitions) {
  ParsedArguments parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || !looksLikeOption(arg)) {
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const OptionDefinition& definition = findOption(definitions, arg.substr(0, equals));
    if (!definition.takesValue) {
      if (equals != std::string::npos)
        throw UsageError("option " + definition.name + " takes no value");
      parsed.flags.insert(definition.name);
    } else if (equals != std::string::npos) {
      parsed.values[definition.name] = arg.substr(equals + 1);
    } else {
      if (i + 1 == args.size()) throw UsageError("option " + definition.name + " needs a value");
      parsed.values[definition.name] = args[++i];
    }
  }
  return parsed;
}

std::optional<double> toNumber(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  // Hexadecimal floats are a C curiosity, not something a user means.
  if (text.find_first_of("xX") != std::string::npos) return std::nullopt;
  return value;
}

long long parseInteger(const std::string& text, const std::string& what, long long min,
                       long long max) {
  const std::optional<double> number = toNumber(text);
  if (!number || !std::isfinite(*number) || std::floor(*number) != *number || *number < min ||
      *number > max) {
    throw UsageError(what + " must be an integer from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not \"" + text + "\"");
  }
  return static_cast<long long>(*number);
}

std::uint64_t parseSeed(const std::string& text, const std::string& what) {
  const bool digitsOnly = !text.empty() && text.size() <= 20 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
  errno = 0;
  const unsigned long long value = digitsOnly ? std::strtoull(text.c_str(), nullptr, 10) : 0;
  if (!digitsOnly || errno == ERANGE) {
    throw UsageError(what + " must be a non-negative integer below 2^64, not \"" + text + "\"");
  }
  return value;
}

double parseNumber(const std::string& text, const std::string& what) {
  const std::optional<double> number = toNumber(text);
  if (!number || !std::isfinite(*number)) {
    throw UsageError(what + " must be a finite number, not \"" + text + "\"");
  }
  return *number;
}

std::vector<double> parseNumberList(const std::string& text, const std::string& what) {
  std::vector<double> numbers;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma - start);
    if (item.empty())
      throw UsageError(what + " must be numbers separated by commas, not \"" + text + "\"");
    numbers.push_back(parseNumber(item, what));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return numbers;
}

}  // namespace ulvcli
