#pragma once
// Opening documents and addresses with the desktop's default handler, as the
// help menu and the About window do. One seam, so that a test sees what
// would be opened without launching anything: setOpener() replaces the
// desktop for the rest of the run (an empty function restores it).
#include <QUrl>

#include <functional>

namespace app {

class Shell {
public:
    using Opener = std::function<bool(const QUrl &)>;
    // Hands url to the opener. False when no program on this machine opens
    // it (no viewer for the document's type); what a handler that took it
    // then does is its own affair.
    static bool open(const QUrl &url);
    static void setOpener(Opener opener);
};

} // namespace app
