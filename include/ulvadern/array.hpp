// Public name of the host's array (programs include <ulvadern/array.hpp>).
#pragma once

#include "host/array.hpp"
