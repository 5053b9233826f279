#include "support/runprogram.h"

#include <QProcess>
#include <QProcessEnvironment>

bool StartProgram(QProcess& process, const std::string& program,
                  const std::vector<std::string>& arguments, const std::string& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LINKVET_HOME", QString::fromStdString(home));
    process.setProcessEnvironment(environment);
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    process.start(QString::fromStdString(program), list);
    return process.waitForStarted();
}

CProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& home, int timeoutMillis) {
    QProcess process;
    StartProgram(process, program, arguments, home);
    // A program that outlives its time is killed, and counts as one that did not end normally.
    const bool finished = process.waitForFinished(timeoutMillis);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    CProgramResult result;
    result.exitCode =
        finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}
