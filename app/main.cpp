#include "app/Allocator.h"
#include "app/Application.h"
#include "app/WinMain.h"

int main(int argc, char *argv[])
{
    setUpAllocator();
    Application app(argc, argv);
    // Declared after the application, so it is destroyed first and saves its state into the
    // store before the store flushes.
    WinMain window(nullptr);
    window.show();
    return app.exec();
}
