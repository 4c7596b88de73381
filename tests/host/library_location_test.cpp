// Where the hosts look for libulvadern.so when not told: beside libulvhost.so.
#include "ulvadern/library_location.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace ulv {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets) $ULVADERN_LIBRARY for one test, restoring it afterwards.
class LibraryVariable {
 public:
  explicit LibraryVariable(const char* value) {
    if (const char* old = std::getenv(kLibraryVariable)) previous_ = old;
    if (value != nullptr) {
      ::setenv(kLibraryVariable, value, 1);
    } else {
      ::unsetenv(kLibraryVariable);
    }
  }
  ~LibraryVariable() {
    if (previous_) {
      ::setenv(kLibraryVariable, previous_->c_str(), 1);
    } else {
      ::unsetenv(kLibraryVariable);
    }
  }

 private:
  std::optional<std::string> previous_;
};

// The build folder keeps the two libraries side by side, as an install does.
fs::path builtLibrary() {
  return fs::weakly_canonical(ULV_LIBRARY_PATH).parent_path() / kLibraryFile;
}

TEST(LibraryLocation, WithoutTheVariableTheLibraryBesideTheHostIsChosen) {
  const LibraryVariable unset(nullptr);
  EXPECT_EQ(configuredLibrary(), std::nullopt);
  EXPECT_EQ(fs::path(bundledLibrary()), builtLibrary());
  EXPECT_EQ(defaultLibrary(), bundledLibrary());
  EXPECT_TRUE(fs::is_regular_file(defaultLibrary()));
}

TEST(LibraryLocation, TheVariableWinsUnlessEmpty) {
  {
    const LibraryVariable set("/elsewhere/libulvadern.so");
    EXPECT_EQ(defaultLibrary(), "/elsewhere/libulvadern.so");
  }
  const LibraryVariable empty("");
  EXPECT_EQ(configuredLibrary(), std::nullopt);
  EXPECT_EQ(fs::path(defaultLibrary()), builtLibrary());
}

}  // namespace
}  // namespace ulv
