#pragma once

#include <string>
#include <vector>

struct CProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end with LINKVET_HOME set to home, and collects its output. The exit
// code is -1 when the program crashed or had to be killed at the end of its time.
CProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& home, int timeoutMillis = 60000);

// A program's output cut at its line ends; a last line without one is kept too.
std::vector<std::string> Lines(const std::string& text);
