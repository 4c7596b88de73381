// The setting every host program of ours honours: $ULVADERN_LIBRARY names the
// libulvadern.so to load instead of the one beside libulvhost.so.
#pragma once

#include "ulvadern/library_location.hpp"

namespace ulvapps {

using ulv::bundledLibrary;
using ulv::configuredLibrary;
using ulv::defaultLibrary;
using ulv::kLibraryFile;
using ulv::kLibraryVariable;

}  // namespace ulvapps
