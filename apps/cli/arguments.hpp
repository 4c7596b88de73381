// Command-line parsing shared by the tool's commands: options with values,
// flags, positional arguments, and checked conversions of option values.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ulvcli {

enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// A mistake in the command line: reported with a hint to --help, exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionDefinition {
  std::string name;   // "--levels"
  std::string alias;  // "-o", or empty
  bool takesValue = false;
};

struct ParsedArguments {
  std::vector<std::string> positionals;
  std::map<std::string, std::string> values;  // by the option's long name
  std::set<std::string> flags;

  bool has(const std::string& option) const;
  std::optional<std::string> value(const std::string& option) const;
};

// Options may come anywhere; "--name=value" and "--name value" are the same;
// "--" ends the options. "-1" or "-.5" are values, not options. An unknown
// option or a missing value is a UsageError; a repeated option keeps its last value.
ParsedArguments parseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionDefinition>& definitions);

// Checked conversions; `what` names the option in the messages.
long long parseInteger(const std::string& text, const std::string& what, long long min,
                       long long max);
std::uint64_t parseSeed(const std::string& text, const std::string& what);
double parseNumber(const std::string& text, const std::string& what);
std::vector<double> parseNumberList(const std::string& text, const std::string& what);

// Strict whole-text conversion to double (inf and nan included); nullopt when
// the text is not a number.
std::optional<double> toNumber(const std::string& text);

}  // namespace ulvcli
