#include "app/aboutdlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/dialogdata.h"
#include "results/reportwriter.h"

namespace {

QLabel* CentredLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QIcon ApplicationIcon(const QWidget& dialog) {
    const QIcon icon = QApplication::windowIcon();
    return icon.isNull() ? dialog.style()->standardIcon(QStyle::SP_ComputerIcon) : icon;
}

}  // namespace

CAboutDlg::CAboutDlg(int* mailVisited, int* homeVisited, QWidget* parent)
    : QDialog(parent), m_mailLink(this), m_homeLink(this) {
    setWindowTitle(QStringLiteral("About Linkvet"));
    m_mailLink.setText(QString::fromUtf8(kAuthorMailAddress));
    m_mailLink.m_pVisited = mailVisited;
    m_homeLink.setText(QString::fromUtf8(kHomePageUrl));
    m_homeLink.m_pVisited = homeVisited;
    m_mailLink.setWhatsThis(QStringLiteral("Writes a mail to the Linkvet developers."));
    m_homeLink.setWhatsThis(QStringLiteral("Opens Linkvet's home page."));
    BuildLayout();
    platform::SetDialogHelp(*this, kHelpTopic);
}

// Template 100, 237 x 122 units: two groups down the left; the version, the credit, the two
// links, the icon and OK down the right.
void CAboutDlg::BuildLayout() {
    const platform::CDialogUnits units(font());
    const auto group = [&](const char* title, const char* text, int height) {
        auto* box = new QGroupBox(QString::fromUtf8(title), this);
        box->setFixedSize(units.Size(97, height));
        auto* inside = new QVBoxLayout(box);
        inside->setContentsMargins(units.X(4), units.Y(4), units.X(4), units.Y(4));
        inside->addWidget(CentredLabel(text, box));
        return box;
    };
    for (CStaticLink* link : {&m_mailLink, &m_homeLink}) {
        link->setAlignment(Qt::AlignCenter);
    }
    m_homeLink.setMinimumWidth(units.X(120));

    auto* left = new QVBoxLayout;
    left->setSpacing(units.Y(12));
    left->addWidget(group("What Linkvet Does", "Checks HTTP links\n in HTML documents", 38));
    left->addWidget(
        group("Legal", "Free software, given as it is, without any warranty of any kind.", 48));
    left->addStretch(1);

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon(*this).pixmap(units.Size(20, 20).boundedTo(QSize(32, 32))));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setMinimumWidth(units.X(32));
    ok->setWhatsThis(QStringLiteral("Closes the About box."));
    // The links take the focus only by Tab, so Enter at once closes the box.
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(icon);
    bottom->addSpacing(units.X(15));
    bottom->addWidget(ok);
    bottom->addStretch(1);

    auto* right = new QVBoxLayout;
    right->setSpacing(units.Y(6));
    right->addWidget(CentredLabel("Linkvet Version 2.4", this));
    right->addWidget(CentredLabel("Written by\nThe Linkvet developers", this));
    right->addStretch(1);
    right->addWidget(&m_mailLink);
    right->addWidget(&m_homeLink);
    right->addStretch(1);
    right->addLayout(bottom);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(units.X(7), units.Y(5), units.X(2), units.Y(6));
    layout->setSpacing(units.X(10));
    layout->addLayout(left);
    layout->addLayout(right, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
