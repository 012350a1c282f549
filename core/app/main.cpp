// rutline: the game's entry point.
#include "core/app/app.h"

int main(int argc, char** argv) {
    static App app;  // run-wide
    int status = app_start(app, argc, argv);
    if (status != START_CONTINUE) return status;
    return app_run(app);
}
