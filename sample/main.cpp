// The sample program: construct the application, Init, Start (the main loop runs until the
// window is closed), and let it go. Fatal errors end the process from inside the framework
// with a message and a non-zero status.
#include "SampleApp.h"

int main()
{
    Vaxo::SampleApp app;
    app.Init();
    app.Start();
    return 0;
}
