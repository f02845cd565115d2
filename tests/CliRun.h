#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

// What one run of the refscope-cli built beside the tests gave.
struct CliRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline QString cliProgram()
{
#ifdef Q_OS_WIN
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/refscope-cli.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/refscope-cli");
#endif
}

// input, when given, is what the program reads on its standard input.
inline CliRun runCli(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(cliProgram(), arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    CliRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
