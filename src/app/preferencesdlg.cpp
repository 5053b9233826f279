#include "app/preferencesdlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <charconv>

#include "platform/dialogdata.h"
#include "platform/messagebox.h"

namespace {

// Draws a row's check box as the list does, and its reason text where the old list box drew
// it: 23 pixels into the text area beside the check box, 3 pixels down.
class CFilterRowDelegate : public QStyledItemDelegate {
public:
    CFilterRowDelegate(const CReasonTexts& reasonTexts, QObject* parent)
        : QStyledItemDelegate(parent), m_reasonTexts(reasonTexts) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const auto row = static_cast<std::size_t>(index.row());
        if (row >= m_reasonTexts.size()) {
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
        const QRect check =
            style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, item.widget);
        const QPoint textAt(check.right() + 3 + 23, option.rect.top() + 3);
        const QRect textArea(textAt, option.rect.bottomRight());
        painter->save();
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          QString::fromUtf8(m_reasonTexts[row]));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(),
                CFilterCheckListBox::kRowHeight};
    }

private:
    const CReasonTexts& m_reasonTexts;
};

QLabel* WrappedLabel(const char* text, int width, QWidget* parent) {
    auto* label = new QLabel(QLatin1String(text), parent);
    label->setWordWrap(true);
    label->setFixedWidth(width);
    // Nested layouts do not ask a wrapped label for its height, so it is given here.
    label->setMinimumHeight(label->heightForWidth(width));
    return label;
}

}  // namespace

CFilterCheckListBox::CFilterCheckListBox(const CReasonTexts& reasonTexts, QWidget* parent)
    : QListWidget(parent) {
    setItemDelegate(new CFilterRowDelegate(reasonTexts, this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setUniformItemSizes(true);
    for (std::size_t row = 0; row < reasonTexts.size(); ++row) {
        auto* item = new QListWidgetItem(this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

bool CFilterCheckListBox::IsTicked(int row) const {
    return item(row)->checkState() == Qt::Checked;
}

void CFilterCheckListBox::SetTicked(int row, bool ticked) {
    item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

CNumberCheck ParseBoundedInt(std::string_view text, int low, int high, int& value) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    long long number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error == std::errc::invalid_argument || stop != end) {
        return CNumberCheck::NotANumber;
    }
    if (error == std::errc::result_out_of_range || number < low || number > high) {
        return CNumberCheck::OutOfRange;
    }
    value = static_cast<int>(number);
    return CNumberCheck::Ok;
}

CPreferencesDlg::CPreferencesDlg(std::string& filter, const CReasonTexts& reasonTexts,
                                 QWidget* parent)
    : QDialog(parent),
      m_filterList(reasonTexts, this),
      m_filter(filter),
      m_timeoutEdit(new QLineEdit(this)),
      m_hawkButton(new QPushButton(QStringLiteral("Watch Like a Hawk"), this)),
      m_oneEyeButton(new QPushButton(QStringLiteral("Watch With One Eye Shut"), this)),
      m_okButton(new QPushButton(QStringLiteral("OK"), this)),
      m_cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      m_helpButton(new QPushButton(QStringLiteral("Help"), this)) {
    setWindowTitle(QStringLiteral("Preferences"));
    m_timeoutEdit->setObjectName(QStringLiteral("timeout"));
    m_okButton->setDefault(true);
    BuildLayout();
    SetWhatsThisTexts();
    platform::SetDialogHelp(*this, kHelpTopic);

    connect(m_hawkButton, &QPushButton::clicked, this, &CPreferencesDlg::OnWatchHawk);
    connect(m_oneEyeButton, &QPushButton::clicked, this, &CPreferencesDlg::OnWatchOneEye);
    connect(m_okButton, &QPushButton::clicked, this, &CPreferencesDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CPreferencesDlg::reject);
    connect(m_helpButton, &QPushButton::clicked, this, &CPreferencesDlg::OnHelp);
}

// Template 136, 327 x 196 units: the list with its heading and the time-out below it on the
// left, the two presets in their groups on the right, OK, Cancel and Help along the bottom.
void CPreferencesDlg::BuildLayout() {
    const platform::CDialogUnits units(font());
    m_filterList.setMinimumSize(units.Size(190, 135));
    m_timeoutEdit->setFixedWidth(units.X(20));
    for (QPushButton* button : {m_okButton, m_cancelButton, m_helpButton}) {
        button->setMinimumWidth(units.X(50));
    }
    const auto preset = [&](const char* title, const char* text, QPushButton* button) {
        auto* group = new QGroupBox(QLatin1String(title), this);
        group->setMinimumWidth(units.X(110));
        button->setMinimumWidth(units.X(90));
        auto* inside = new QVBoxLayout(group);
        inside->setContentsMargins(units.X(6), units.Y(5), units.X(4), units.Y(5));
        inside->setSpacing(units.Y(5));
        inside->addWidget(WrappedLabel(text, units.X(90), group));
        inside->addWidget(button, 0, Qt::AlignHCenter);
        inside->addStretch(1);
        return group;
    };

    auto* timeout = new QHBoxLayout;
    timeout->setSpacing(units.X(3));
    timeout->addWidget(m_timeoutEdit);
    timeout->addWidget(
        new QLabel(QStringLiteral("How Long to Wait for Slow Hosts? (seconds)"), this), 1);

    auto* presets = new QVBoxLayout;
    presets->setSpacing(units.Y(5));
    presets->addWidget(preset("Defaults for Type A Users",
                              "Report every defect to me (code 200 is not a defect)",
                              m_hawkButton));
    presets->addWidget(preset("Defaults for Type B Users",
                              "Report only the very worst offenders to me", m_oneEyeButton));
    presets->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(units.X(10));
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_helpButton);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(units.X(5));
    grid->setVerticalSpacing(units.Y(3));
    grid->addWidget(
        new QLabel(QStringLiteral("Report Results for Checked Items - or use the Defaults"), this),
        0, 0);
    grid->addWidget(&m_filterList, 1, 0);
    grid->addLayout(presets, 1, 1);
    grid->addLayout(timeout, 2, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.X(10), units.Y(5), units.X(7), units.Y(7));
    layout->setSpacing(units.Y(6));
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CPreferencesDlg::SetWhatsThisTexts() {
    m_filterList.setWhatsThis(QStringLiteral(
        "Tick the results you want listed in the grid. A change applies to the next result."));
    m_hawkButton->setWhatsThis(QStringLiteral("Ticks every result except 200 OK, at once."));
    m_oneEyeButton->setWhatsThis(
        QStringLiteral("Ticks only 400, 401, 403, 404 and Can't Find Named Host, at once."));
    m_timeoutEdit->setWhatsThis(QStringLiteral(
        "How many seconds, from 5 to 1000, to wait for a host before its link is reported."));
    m_okButton->setWhatsThis(
        QStringLiteral("Keeps the ticks and the time-out, also for the next start."));
    m_cancelButton->setWhatsThis(QStringLiteral(
        "Closes the window. A preset already pressed stays in use until Linkvet ends."));
    m_helpButton->setWhatsThis(QStringLiteral("Opens the help on the preferences."));
}

void CPreferencesDlg::ShowFilter() {
    for (std::size_t row = 0; row < kResultCodeCount; ++row) {
        // Whatever the filter test counts as reported shows ticked, a stray character too.
        m_filterList.SetTicked(static_cast<int>(row),
                               FilterReports(m_filter, kResultCodes[row].code));
    }
}

void CPreferencesDlg::UsePreset(std::string_view filter) {
    m_filter = filter;
    ShowFilter();
}

void CPreferencesDlg::OnWatchHawk() {
    UsePreset(kWatchLikeAHawkFilter);
}

void CPreferencesDlg::OnWatchOneEye() {
    UsePreset(kWatchWithOneEyeShutFilter);
}

void CPreferencesDlg::OnHelp() {
    platform::WinHelp(kHelpTopic);
}

std::string CPreferencesDlg::TickedFilter() const {
    std::string filter;
    for (int row = 0; row < m_filterList.count(); ++row) {
        filter += m_filterList.IsTicked(row) ? '1' : '0';
    }
    return filter;
}

bool CPreferencesDlg::UpdateData(bool saveAndValidate) {
    if (!saveAndValidate) {
        m_timeoutEdit->setText(QString::number(m_timeout));
        return true;
    }
    int timeout = 0;
    switch (ParseBoundedInt(m_timeoutEdit->text().toUtf8().toStdString(), kMinTimeout, kMaxTimeout,
                            timeout)) {
        case CNumberCheck::NotANumber:
            platform::FailField(*m_timeoutEdit,
                                "Please enter the time-out as a whole number of seconds.");
            return false;
        case CNumberCheck::OutOfRange:
            platform::FailField(*m_timeoutEdit, "Please enter a time-out from " +
                                                    std::to_string(kMinTimeout) + " to " +
                                                    std::to_string(kMaxTimeout) + " seconds.");
            return false;
        case CNumberCheck::Ok:
            break;
    }
    m_timeout = timeout;
    return true;
}

void CPreferencesDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        UpdateData(false);
        ShowFilter();
    }
    QDialog::showEvent(event);
}

// The ticks reach the caller's filter before the time-out is checked, so they stay there
// even when the time-out is refused and the user then cancels.
void CPreferencesDlg::accept() {
    m_filter = TickedFilter();
    if (UpdateData(true)) {
        QDialog::accept();
    }
}
