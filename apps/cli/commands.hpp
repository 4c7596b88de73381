// The tool's commands. Each takes the arguments after its name and returns
// the process's exit code; usage mistakes are thrown as UsageError.
#pragma once

#include <string>
#include <vector>

namespace ulvcli {

using Arguments = std::vector<std::string>;

int runDenoise(const Arguments& args);
int runCall(const Arguments& args);
int runInfo(const Arguments& args);

extern const char* const kDenoiseHelp;
extern const char* const kCallHelp;
extern const char* const kInfoHelp;

}  // namespace ulvcli
