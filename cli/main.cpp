#include "cli/CliProgram.h"
#include "cli/Output.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>

#include <cstdio>
#include <exception>
#include <memory>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#elif defined(Q_OS_UNIX)
#include <csignal>
#endif

// The arguments as bytes, the program's name left out: on Windows the UTF-8 of the wide command
// line, as lists and the loader's file names are UTF-8 there; elsewhere the bytes as given.
static QList<QByteArray> argumentBytes(int argc, char *argv[])
{
    QList<QByteArray> arguments;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]).toUtf8();
        LocalFree(wide);
    }
#else
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
#endif
    return arguments;
}

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // The bytes go out as written, UTF-8 and line feeds, and a console shows them as UTF-8;
    // standard input is read as a file is, CRs and Ctrl+Z bytes kept.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const UINT consoleCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
#elif defined(Q_OS_UNIX)
    // A reader that goes away shows as a failed write, which ends the program quietly.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    int status = CliProgram::Trouble;
    {
        const QList<QByteArray> arguments = argumentBytes(argc, argv);
        // The sim commands talk to the simulator in event loops of their own, which need the
        // application object; the file commands go without its cost.
        std::unique_ptr<QCoreApplication> application;
        if (arguments.value(0) == "sim") {
            application = std::make_unique<QCoreApplication>(argc, argv);
            // refscope-cli needs no plugin from disk. Without a search path the network's bearer
            // plugins stay unloaded: they would bring in D-Bus and ask the system's network
            // managers about every connection at each start, some milliseconds of every command.
            QCoreApplication::setLibraryPaths({});
        }
        Output out(stdout);
        Output err(stderr);
        try {
            status = CliProgram(out, err).run(arguments);
        } catch (const std::exception &error) {
            err.buffer() += QByteArray("refscope-cli: ") + error.what() + '\n';
            status = CliProgram::Trouble;
        }
    }
#ifdef Q_OS_WIN
    // The console is the user's: it gets its own code page back.
    if (consoleCodePage != 0)
        SetConsoleOutputCP(consoleCodePage);
#endif
    return status;
}
