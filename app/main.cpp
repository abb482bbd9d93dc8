// SPDX-License-Identifier: MIT
#include <csignal>

#include "qt/quillbox_app.h"

int main(int argc, char** argv) {
    // A size limit or a closed pipe is then a write error the run reports, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    quillbox::app::CQuillboxApp app(argc, argv);
    return app.Run();
}
