// The sample program: construct the application, Init (properties, settings, window,
// sound, InitHook), Start (the main loop runs until Shutdown), and let it go. Fatal errors
// end the process from inside the framework with a message and status 1.
#include "SampleApp.h"

int main()
{
    Vaxo::SampleApp app;
    app.Init();
    app.Start();
    return 0;
}
