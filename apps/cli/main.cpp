// ulvadern: denoise images, call the library's functions by name, and show
// what the library declares. The library is loaded at run time, as a host would.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "arguments.hpp"
#include "commands.hpp"
#include "fatal_signals.hpp"
#include "host/runtime/memory_tuning.hpp"
#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"

namespace {

const char* const kMainHelp =
    "Usage: ulvadern COMMAND [ARGS...]\n"
    "\n"
    "Edge-preserving wavelet denoising of images.\n"
    "\n"
    "Commands:\n"
    "  denoise IN... (-o OUT | --out-dir DIR)   denoise image files\n"
    "  call FUNCTION [ARGS...]                  call a library function by name\n"
    "  info                                     show the library's descriptor\n"
    "  help [COMMAND]                           show help\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help\n"
    "  -V, --version   print the version\n"
    "\n"
    "Run `ulvadern COMMAND --help` for a command's options.\n"
    "\n"
    "The library libulvadern.so is taken from $ULVADERN_LIBRARY when set, else\n"
    "from the directory of libulvhost.so, the host library this program runs on.\n";

int showHelp(const std::string& command) {
  if (command.empty())
    std::fputs(kMainHelp, stdout);
  else if (command == "denoise")
    std::fputs(ulvcli::kDenoiseHelp, stdout);
  else if (command == "call")
    std::fputs(ulvcli::kCallHelp, stdout);
  else if (command == "info")
    std::fputs(ulvcli::kInfoHelp, stdout);
  else
    throw ulvcli::UsageError("unknown command \"" + command + "\"");
  return ulvcli::kExitOk;
}

int dispatch(const std::string& command, const ulvcli::Arguments& args) {
  if (command == "denoise") return ulvcli::runDenoise(args);
  if (command == "call") return ulvcli::runCall(args);
  if (command == "info") return ulvcli::runInfo(args);
  if (command == "help") return showHelp(args.empty() ? "" : args.front());
  if (command == "--help" || command == "-h") return showHelp("");
  if (command == "--version" || command == "-V") {
    std::printf("ulvadern %s\n", ULVADERN_VERSION);
    return ulvcli::kExitOk;
  }
  throw ulvcli::UsageError("unknown command \"" + command + "\"");
}

// Warnings and reports quote file names and file contents: escaped, like errors.
void printHostMessagesEscaped() {
  ulv::setWarningHandler([](std::string_view message) {
    std::fprintf(stderr, "Warning: %s\n", ulv::printable(message).c_str());
  });
  ulv::setReportHandler([](std::string_view message) {
    std::fprintf(stderr, "%s\n", ulv::printable(message).c_str());
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kMainHelp, stderr);
    return ulvcli::kExitUsage;
  }
  const std::string command = argv[1];
  // A file-size limit then fails the write with EFBIG, which is reported,
  // instead of killing the process; workers inherit it.
  std::signal(SIGXFSZ, SIG_IGN);
  ulvcli::installFatalSignalCleanup();
  ulvcli::removeHostTemporariesOnSignal();
  printHostMessagesEscaped();
  ulv::tuneMemoryForLargeArrays();  // large images: reuse freed blocks instead of page faults
  try {
    return dispatch(command, ulvcli::Arguments(argv + 2, argv + argc));
  } catch (const ulvcli::UsageError& error) {
    const bool known = command == "denoise" || command == "call" || command == "info";
    std::fprintf(stderr, "ulvadern: %s\nTry `ulvadern %s--help`.\n",
                 ulv::printable(error.what()).c_str(), known ? (command + " ").c_str() : "");
    return ulvcli::kExitUsage;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "Error: %s\n", ulv::printable(error.what()).c_str());
    return ulvcli::kExitFailure;
  } catch (...) {  // caught, so that unwinding removes the private work directory
    std::fflush(stdout);
    std::fputs("Error: an unknown exception\n", stderr);
    return ulvcli::kExitFailure;
  }
}
