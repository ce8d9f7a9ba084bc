#pragma once

// The program's start-up, in its fixed order: the file-type sets (FileTypes1, then ScanType), the
// application object with its menu bar, then the main window. Each step runs only when the ones
// before it succeeded.
class Startup
{
public:
    virtual ~Startup() = default;

    // Runs the steps. On an error: a message with its text, and false (the program then exits
    // with a non-zero status).
    bool Run();

protected:
    virtual void _InitFileTypes();
    virtual void _NewAppInstance();
    virtual void _MakeDefaultView();
};
