#include "qt/quillbox_app.h"

int main(int argc, char** argv) {
    quillbox::app::CQuillboxApp app(argc, argv);
    return app.Run();
}
