#pragma once

#include <string>
#include <vector>

class QProcess;

struct CProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts a program with LINKVET_HOME set to home; false when it could not be started.
bool StartProgram(QProcess& process, const std::string& program,
                  const std::vector<std::string>& arguments, const std::string& home);

// Runs a program to its end with LINKVET_HOME set to home, and collects its output. The exit
// code is -1 when the program crashed or had to be killed at the end of its time.
CProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& home, int timeoutMillis = 60000);

// A program's output cut at its line ends; a last line without one is kept too.
std::vector<std::string> Lines(const std::string& text);
