#pragma once
// Every failure of the centre core is an exception carrying a message a
// reviewer can act on, in Chinese: the store's own error type.
#include "store/Error.h"

namespace centre {
using Error = store::Error;
}
