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
    // Hands url to the opener; what the handler then does is its own
    // affair, so the result is only a hint.
    static bool open(const QUrl &url);
    static void setOpener(Opener opener);
};

} // namespace app
