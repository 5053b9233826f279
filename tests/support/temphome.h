#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

// A fresh temporary folder for one test, removed with everything in it afterwards.
class CTempDir {
public:
    explicit CTempDir(const std::string& parent = "/tmp");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Points LINKVET_HOME at a fresh folder for the test's lifetime, so no test ever reads or
// writes the user's own settings or work files.
class CTempHomeTest : public ::testing::Test {
protected:
    CTempHomeTest();
    ~CTempHomeTest() override;

    const std::string& Home() const { return m_home.Path(); }

    CTempDir m_scratch;

private:
    CTempDir m_home;
    std::string m_previousHome;
    bool m_hadHome;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void MakeDirectory(const std::string& path);

// The probe's answer as an ordinary user sees it: run in a child process that has given up
// root for nobody when the tests run as root (as CI does), else right here. False when root
// could not be given up. The folders on the probe's way must let others pass.
bool AsOrdinaryUser(const std::function<bool()>& probe);
