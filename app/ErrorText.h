#pragma once
// The message a user sees for an exception caught by a window command.
#include "store/Error.h"

#include <QString>

#include <exception>

namespace app {

inline QString errorText(const std::exception &e)
{
    if (const auto *storeError = dynamic_cast<const store::Error *>(&e))
        return storeError->message();
    return QString::fromUtf8(e.what());
}

} // namespace app
