#pragma once

#include <QDialog>

#include "app/staticlink.h"

// The author's mail address, shown as the about box's mail link; it holds kMailMarker.
inline constexpr const char* kAuthorMailAddress = "linkvet@linkvet.example";

// "About Linkvet": the version, what the program does, a legal notice, the authors, and two
// live links, to the authors' mail and to the home page. The visited flags are the caller's,
// so a visited link keeps its colour in the next about box.
class CAboutDlg : public QDialog {
public:
    static constexpr unsigned kHelpTopic = 0x20064;

    CAboutDlg(int* mailVisited, int* homeVisited, QWidget* parent = nullptr);

    CStaticLink m_mailLink;
    CStaticLink m_homeLink;

private:
    void BuildLayout();
};
