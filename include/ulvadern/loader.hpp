// Public name of the host's loader (programs include <ulvadern/loader.hpp>).
#pragma once

#include "host/loader.hpp"
